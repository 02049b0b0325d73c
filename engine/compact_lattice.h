#pragma once
// The disorder of a lattice of any side n >= 1, compactly: the random
// fields as doubles and the exchange constants as a one-byte choice between
// two values where the lattice has no more than two (as every set-up run
// leaves it), as doubles otherwise. Sites are stored row by row, site
// (i, j) of the 1-based lattice at index (i - 1) * n + (j - 1).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/uninitialized_vector.h"
#include "engine/exact_sums.h"

namespace ebsim {

class CompactLattice {
 public:
  explicit CompactLattice(int n);
  // The whole lattice at once, its constants chosen per site: choices[s]
  // (0 or 1) picks values[choices[s]]; randomFields row by row. The same
  // lattice as its rows appended with those constants.
  CompactLattice(int n, std::vector<std::uint8_t> choices, const double (&values)[2],
                 UninitializedVector<double> randomFields);

  // Row after row, n of them: the n exchange constants and random fields of
  // the next row.
  void AppendRow(const double* exchange, const double* randomField);

  int Side() const { return n_; }
  std::size_t Index(int i, int j) const {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(j - 1);
  }

  // Whether the constants are held as choices: mask 0 picks Value(0), mask
  // 0xFF picks Value(1).
  bool Indexed() const { return indexed_; }
  double Value(int k) const { return values_[k]; }
  // The masks, a byte a site; none once the choices are packed.
  const std::uint8_t* Masks() const { return masks_.data(); }
  // The choices held as a bit a site and the masks freed, for an engine
  // that reads each site's constant on its own (Choice, Exchange).
  void PackChoices();
  int Choice(std::size_t site) const {
    return packed_ ? static_cast<int>((choiceBits_[site / 64] >> (site % 64)) & 1) : masks_[site] & 1;
  }
  const double* Constants() const { return constants_.data(); }
  const double* RandomFields() const { return randomFields_.data(); }

  double Exchange(std::size_t site) const {
    return indexed_ ? values_[Choice(site)] : constants_[site];
  }
  double RandomField(std::size_t site) const { return randomFields_[site]; }
  // Site's constant on its way to the caches.
  void Prefetch(std::size_t site) const {
    if (!indexed_) __builtin_prefetch(constants_.data() + site);
    else if (packed_) __builtin_prefetch(choiceBits_.data() + site / 64);
  }

  // Four times the largest constant's magnitude, and the largest random
  // field's, in extended precision, as the passes bound them.
  long double LargestSum() const { return 4 * largestConstant_; }
  long double LargestRandomField() const { return largestRandomField_; }
  // Whether a neighbour sum could leave the double range.
  bool SumsMayOverflow() const;
  // Whether every neighbour sum is exact in double precision.
  bool SumsExact() const { return !SumsMayOverflow() && exact_.Exact(); }

 private:
  void StoreConstant(double J);

  int n_;
  int rows_ = 0;
  bool indexed_ = true;
  int valueCount_ = 0;
  double values_[2] = {0.0, 0.0};
  std::vector<std::uint8_t> masks_;
  bool packed_ = false;
  std::vector<std::uint64_t> choiceBits_;
  std::vector<double> constants_;
  UninitializedVector<double> randomFields_;
  long double largestConstant_ = 0;
  long double largestRandomField_ = 0;
  ExactSumCheck exact_;
};

}  // namespace ebsim
