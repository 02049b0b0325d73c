#include "engine/packed_spins.h"

#include <array>
#include <cstring>

#include "base/huge_pages.h"

namespace ebsim {

namespace {

constexpr std::uint64_t Pattern(std::int8_t spin) {
  return static_cast<std::uint64_t>(spin + 1) * 0x5555555555555555u;
}

// The four spins of a byte of codes, as four bytes in memory order.
constexpr std::array<std::array<std::int8_t, 4>, 256> kSpinsOfByte = [] {
  std::array<std::array<std::int8_t, 4>, 256> table{};
  for (int b = 0; b < 256; ++b)
    for (int k = 0; k < 4; ++k) table[b][k] = static_cast<std::int8_t>(((b >> (2 * k)) & 3) - 1);
  return table;
}();

}  // namespace

PackedSpins::PackedSpins(const std::vector<std::int8_t>& spins) : size_(spins.size()) {
  ResizeInLargePages(words_, (spins.size() + 31) / 32);
  for (std::size_t s = 0; s < size_; ++s)
    words_[s / 32] |= static_cast<std::uint64_t>(spins[s] + 1) << (2 * (s % 32));
}

void PackedSpins::Fill(std::int8_t spin) {
  for (std::uint64_t& w : words_) w = Pattern(spin);
}

void PackedSpins::Unpack(std::size_t first, std::size_t count, std::int8_t* out) const {
  std::size_t s = first;
  const std::size_t end = first + count;
  for (; s < end && s % 4 != 0; ++s) *out++ = (*this)[s];
  for (; s + 4 <= end; s += 4, out += 4) {
    const unsigned byte = static_cast<unsigned>(words_[s / 32] >> (2 * (s % 32))) & 0xFFu;
    std::memcpy(out, kSpinsOfByte[byte].data(), 4);
  }
  for (; s < end; ++s) *out++ = (*this)[s];
}

}  // namespace ebsim
