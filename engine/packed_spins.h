#pragma once
// Spins -1, 0 and +1 in two bits a site (codes 0, 1 and 2), 32 sites to a
// word, site s at bits 2 (s mod 32) of word s / 32: a quarter of the bytes
// the spins take one to a byte, for lattices of 10^9 sites.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ebsim {

class PackedSpins {
 public:
  PackedSpins() = default;
  // spins: each -1, 0 or +1.
  explicit PackedSpins(const std::vector<std::int8_t>& spins);

  std::size_t size() const { return size_; }
  std::int8_t operator[](std::size_t s) const {
    return static_cast<std::int8_t>(static_cast<int>((words_[s / 32] >> (2 * (s % 32))) & 3) - 1);
  }
  // Site s's spin, -1 or +1, reversed.
  void Reverse(std::size_t s) { words_[s / 32] ^= std::uint64_t{2} << (2 * (s % 32)); }
  void Fill(std::int8_t spin);
  // Site s's word on its way to the caches.
  void Prefetch(std::size_t s) const { __builtin_prefetch(words_.data() + s / 32); }
  // Sites first .. first + count - 1, one byte each.
  void Unpack(std::size_t first, std::size_t count, std::int8_t* out) const;

 private:
  std::vector<std::uint64_t> words_;
  std::size_t size_ = 0;
};

}  // namespace ebsim
