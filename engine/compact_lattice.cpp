#include "engine/compact_lattice.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace ebsim {

CompactLattice::CompactLattice(int n) : n_(n) {
  if (n < 1) throw std::invalid_argument("the lattice side must be at least 1");
  const std::size_t sites = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  masks_.reserve(sites);
  randomFields_.reserve(sites);
}

CompactLattice::CompactLattice(int n, std::vector<std::uint8_t> choices, const double (&values)[2],
                               UninitializedVector<double> randomFields)
    : n_(n), rows_(n) {
  const std::size_t sites = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  if (n < 1 || choices.size() != sites || randomFields.size() != sites)
    throw std::invalid_argument("one choice and one random field per site are needed");
  // As the rows would store them: the first site's constant is value 0.
  const std::uint8_t first = choices[0] ? 1 : 0;
  values_[0] = values[first];
  const double other = values[1 - first];
  const bool distinct = std::bit_cast<std::uint64_t>(other) != std::bit_cast<std::uint64_t>(values_[0]);
  bool used = false;
  for (std::uint8_t& choice : choices) {
    const bool second = distinct && (choice ? 1 : 0) != first;
    used = used || second;
    choice = second ? 0xFF : 0;
  }
  valueCount_ = used ? 2 : 1;
  values_[1] = used ? other : 0.0;
  masks_ = std::move(choices);
  for (int k = 0; k < valueCount_; ++k) {
    exact_.Add(values_[k]);
    largestConstant_ = std::fmax(largestConstant_, std::fabs(static_cast<long double>(values_[k])));
  }
  double largestField = 0;
  for (const double q : randomFields) largestField = std::max(largestField, std::fabs(q));
  largestRandomField_ = largestField;
  randomFields_ = std::move(randomFields);
}

void CompactLattice::AppendRow(const double* exchange, const double* randomField) {
  if (rows_ == n_) throw std::logic_error("the lattice has all its rows");
  for (int j = 0; j < n_; ++j) {
    StoreConstant(exchange[j]);
    exact_.Add(exchange[j]);
    largestConstant_ = std::fmax(largestConstant_, std::fabs(static_cast<long double>(exchange[j])));
    largestRandomField_ = std::fmax(largestRandomField_, std::fabs(randomField[j]));
  }
  randomFields_.insert(randomFields_.end(), randomField, randomField + n_);
  ++rows_;
}

// Values are told apart by their bits, so that -0.0 keeps its sign.
void CompactLattice::StoreConstant(double J) {
  if (indexed_) {
    for (int k = 0; k < valueCount_; ++k) {
      if (std::bit_cast<std::uint64_t>(values_[k]) == std::bit_cast<std::uint64_t>(J)) {
        masks_.push_back(k ? 0xFF : 0);
        return;
      }
    }
    if (valueCount_ < 2) {
      values_[valueCount_] = J;
      masks_.push_back(valueCount_++ ? 0xFF : 0);
      return;
    }
    // A third value: every constant as a double from here on.
    constants_.reserve(masks_.capacity());
    for (const std::uint8_t mask : masks_) constants_.push_back(values_[mask & 1]);
    std::vector<std::uint8_t>().swap(masks_);
    indexed_ = false;
  }
  constants_.push_back(J);
}

void CompactLattice::PackChoices() {
  if (!indexed_ || packed_) return;
  if (rows_ != n_) throw std::logic_error("the choices are packed once the lattice has all its rows");
  choiceBits_.assign((masks_.size() + 63) / 64, 0);
  for (std::size_t s = 0; s < masks_.size(); ++s)
    choiceBits_[s / 64] |= static_cast<std::uint64_t>(masks_[s] & 1) << (s % 64);
  std::vector<std::uint8_t>().swap(masks_);  // = {} would keep the bytes
  packed_ = true;
}

bool CompactLattice::SumsMayOverflow() const { return LargestSum() > DBL_MAX; }

}  // namespace ebsim
