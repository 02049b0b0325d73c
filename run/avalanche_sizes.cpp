#include "run/avalanche_sizes.h"

#include <bit>
#include <stdexcept>

namespace ebsim {

namespace {

std::size_t BranchIndex(Branch branch) { return branch == Branch::Descending ? 0 : 1; }

}  // namespace

void AvalancheSizes::Add(Branch branch, std::int64_t size) {
  if (size < 1) throw std::invalid_argument("an avalanche reverses at least one spin");
  const int bin = std::bit_width(static_cast<std::uint64_t>(size)) - 1;
  ++counts_[BranchIndex(branch)][static_cast<std::size_t>(bin)];
}

void AvalancheSizes::Merge(const AvalancheSizes& other) {
  for (std::size_t b = 0; b < 2; ++b)
    for (std::size_t k = 0; k < counts_[b].size(); ++k) counts_[b][k] += other.counts_[b][k];
}

std::vector<SizeBin> AvalancheSizes::Bins() const {
  std::vector<SizeBin> bins;
  for (const Branch branch : {Branch::Descending, Branch::Ascending}) {
    const auto& counts = counts_[BranchIndex(branch)];
    std::size_t last = counts.size();
    while (last > 0 && counts[last - 1] == 0) --last;
    for (std::size_t k = 0; k < last; ++k) {
      const std::int64_t least = std::int64_t{1} << k;
      bins.push_back({branch, least, 2 * (least - 1) + 1, counts[k]});
    }
  }
  return bins;
}

std::int64_t AvalancheSizes::Count(Branch branch) const {
  std::int64_t count = 0;
  for (const std::int64_t c : counts_[BranchIndex(branch)]) count += c;
  return count;
}

std::vector<SizeBin> LogBinnedSizes(const std::vector<Avalanche>& avalanches) {
  AvalancheSizes sizes;
  for (const Avalanche& a : avalanches) sizes.Add(a.branch, a.size);
  return sizes.Bins();
}

}  // namespace ebsim
