// The event engine's relaxations: a whole pass over every site in row-major
// order, or a pass over the sites due and the neighbours of reversed spins.

#include <cstdint>
#include <vector>

#include "engine/checked_sums.h"
#include "engine/event_relaxation.h"
#include "engine/flip_rule.h"

namespace ebsim {

void EventRelaxation::StartRelaxation() {
  for (const int i : changedRows_) rowChanged_[static_cast<std::size_t>(i)] = 0;
  changedRows_.clear();
  flips_ = 0;
}

// The reversals of this relaxation become those of the one before.
void EventRelaxation::EndRelaxation() {
  for (const std::size_t s : reversed_) sites_[s].marks &= static_cast<std::uint8_t>(~kReversed);
  reversedBefore_.swap(reversed_);
  reversed_.clear();
  sitesDone_ = spins_.size();
}

void EventRelaxation::Reverse(std::size_t s) {
  const std::int8_t spin = spins_[s];
  spinSum_ -= 2 * spin;
  if (spin == 0) return;
  const std::size_t row = s / static_cast<std::size_t>(n_);
  if (!rowChanged_[row]) {
    rowChanged_[row] = 1;
    changedRows_.push_back(static_cast<int>(row));
  }
  ++flips_;
  spins_[s] = static_cast<std::int8_t>(-spin);
  sites_[s].marks |= kReversed;
  reversed_.push_back(s);
}

// Every site in row-major order: its reversal, then its new sign from the
// spins as they stand, as the checked pass visits them.
template <bool checked>
void EventRelaxation::WholePass(double H, Branch branch, bool planned) {
  StartRelaxation();
  H_ = H;
  if (planned)
    for (std::vector<std::uint32_t>& bucket : buckets_) bucket.clear();
  changed_.clear();
  for (const std::size_t s : zeros_) sites_[s].marks &= static_cast<std::uint8_t>(~kInZeros);
  zeros_.clear();
  std::size_t s = 0;
  for (int i = 1; i <= n_; ++i) {
    for (int j = 1; j <= n_; ++j, ++s) {
      sitesDone_ = s;
      if (Reverses(branch, sites_[s].previous, sites_[s].latest)) {
        Reverse(s);
        if (checked && lattice_.SumsMayOverflow()) CheckSumsAround(lattice_, rule_, i, j, spins_.data());
      }
      Store(s, Evaluate<checked>(s, i, j), planned);
    }
  }
  visits_ = spins_.size();
  EndRelaxation();
}

template void EventRelaxation::WholePass<true>(double, Branch, bool);
template void EventRelaxation::WholePass<false>(double, Branch, bool);

// The sites whose signs call for a reversal: among those whose sign changed
// in the relaxation before, and on the way up those whose two signs are 0.
void EventRelaxation::ReversePending(Branch branch) {
  for (const std::size_t s : changed_)
    if (Reverses(branch, sites_[s].previous, sites_[s].latest)) Reverse(s);
  if (branch != Branch::Ascending) return;
  std::size_t kept = 0;
  for (const std::size_t s : zeros_) {
    SiteState& site = sites_[s];
    if (site.latest != 0) {
      site.marks &= static_cast<std::uint8_t>(~kInZeros);
      continue;
    }
    zeros_[kept++] = s;
    if (site.previous == 0) Reverse(s);
  }
  zeros_.resize(kept);
}

void EventRelaxation::Queue(std::size_t s) {
  std::uint64_t& word = queued_[s / 64];
  const std::uint64_t bit = std::uint64_t{1} << (s % 64);
  if (word & bit) return;
  word |= bit;
  queue_.push_back(s);
}

// The sites whose neighbour fields take site k's spin: later ones (in
// row-major order) take it after this relaxation's reversals, earlier ones
// as it stood before them.
void EventRelaxation::QueueDependents(std::size_t k, bool earlier) {
  const int i = static_cast<int>(k / static_cast<std::size_t>(n_)) + 1;
  const int j = static_cast<int>(k % static_cast<std::size_t>(n_)) + 1;
  rule_.ForDependents(i, j, [&](Cell c) {
    const std::size_t s = lattice_.Index(c.i, c.j);
    if (earlier ? s < k : s >= k) Queue(s);
  });
}

// The memory a visit of site s reads, asked for ahead of the visit: the
// sites of a relaxation lie far apart.
void EventRelaxation::Prefetch(std::size_t s) const {
  const std::size_t n = static_cast<std::size_t>(n_);
  const std::size_t up = s >= n ? s - n : s, down = s + n < spins_.size() ? s + n : s;
  for (const std::size_t c : {up, s, down}) {
    __builtin_prefetch(spins_.data() + c);
    __builtin_prefetch(lattice_.Indexed() ? static_cast<const void*>(lattice_.Masks() + c)
                                          : static_cast<const void*>(lattice_.Constants() + c));
  }
  __builtin_prefetch(lattice_.RandomFields() + s);
  __builtin_prefetch(sites_.data() + s);
  __builtin_prefetch(sites_.data() + down);
}

void EventRelaxation::EventPass(double H, Branch branch) {
  StartRelaxation();
  H_ = H;
  ReversePending(branch);
  // The sites not evaluated keep their sign: their two latest are equal.
  for (const std::size_t s : changed_) sites_[s].previous = sites_[s].latest;
  changed_.clear();
  const std::size_t at = plan_.At();
  const std::vector<std::uint32_t>& due = buckets_[at];
  for (std::size_t k = 0; k < due.size(); ++k) {
    if (k + 16 < due.size()) __builtin_prefetch(sites_.data() + due[k + 16]);
    if (sites_[due[k]].due == at) Queue(due[k]);
  }
  std::vector<std::uint32_t>().swap(buckets_[at]);
  for (const std::size_t k : reversed_) QueueDependents(k, false);
  for (const std::size_t k : reversedBefore_) QueueDependents(k, true);
  constexpr std::size_t kAhead = 8;
  for (std::size_t k = 0; k < queue_.size(); ++k) {
    if (k + kAhead < queue_.size()) Prefetch(queue_[k + kAhead]);
    const std::size_t s = queue_[k];
    const int i = static_cast<int>(s / static_cast<std::size_t>(n_)) + 1;
    const int j = static_cast<int>(s % static_cast<std::size_t>(n_)) + 1;
    Store(s, Evaluate<false>(s, i, j), true);
    queued_[s / 64] &= ~(std::uint64_t{1} << (s % 64));
  }
  visits_ = queue_.size();
  queue_.clear();
  EndRelaxation();
}

}  // namespace ebsim
