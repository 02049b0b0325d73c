#pragma once
// The avalanches of an adiabatic Run: each one's cycle, branch, field and
// size (the spins it reversed), and their sizes counted per branch in bins
// of powers of two (1, 2-3, 4-7, ...), the usual log-binned size
// distribution.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/branch.h"

namespace ebsim {

struct Avalanche {
  int cycle = 1;
  Branch branch = Branch::Descending;
  double H = 0;
  std::int64_t size = 0;
};

// One bin: the avalanches of a branch with least <= size <= most.
struct SizeBin {
  Branch branch;
  std::int64_t least, most, count;
};

class AvalancheSizes {
 public:
  // size: at least 1.
  void Add(Branch branch, std::int64_t size);
  // Another count's avalanches added to these (a sweep's realisations).
  void Merge(const AvalancheSizes& other);
  // The descending branch's bins then the ascending one's, each from size 1
  // up to its largest avalanche's bin, empty bins between included; none
  // for a branch without avalanches.
  std::vector<SizeBin> Bins() const;
  std::int64_t Count(Branch branch) const;

  // The counts of bin k (sizes 2^k to 2^(k+1) - 1) per branch, descending
  // first, as they are handed between processes.
  using Counts = std::array<std::array<std::int64_t, 63>, 2>;
  const Counts& BinCounts() const { return counts_; }
  static AvalancheSizes OfBinCounts(const Counts& counts) {
    AvalancheSizes sizes;
    sizes.counts_ = counts;
    return sizes;
  }
  bool Empty() const { return Count(Branch::Descending) == 0 && Count(Branch::Ascending) == 0; }

 private:
  Counts counts_{};
};

// The sizes of these avalanches, binned.
std::vector<SizeBin> LogBinnedSizes(const std::vector<Avalanche>& avalanches);

}  // namespace ebsim
