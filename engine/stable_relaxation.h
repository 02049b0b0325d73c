#pragma once
// Relaxation to stability: at each applied field every spin s whose local
// field h (the neighbour sum by the edge rule, plus the random field, plus
// H, in extended precision and stored as a double: the value the pass
// computes) has s h < 0 is reversed, again and again, until no spin is. A
// local field of zero leaves its spin as it is, and a spin 0 never changes.
//
// Where every exchange constant is zero or more, each local field is a
// non-decreasing function of the other spins, so the stable state reached
// does not depend on the order of the reversals: the sites found unstable
// by a scan are queued, and the cells whose fields take a reversed spin are
// queued again. Where some constant is negative the order matters, and it is
// row-major sweeps, one site at a time on the spins as they stand, until a
// sweep reverses nothing; a field at which SweepLimit() sweeps still
// reverse spins is an error (EConvertError), never an endless loop.
//
// Where every neighbour sum is exact in double and the constants are not
// negative, each site's neighbour field is kept and refreshed at the cells a
// reversal reaches, and the scan takes the sign of (F + q) + H from double
// arithmetic where a margin shows it to be that of the extended sum, as the
// pass's kernels do.
//
// With flip fields (StableOptions::events, constants not negative, at most
// four values of them), the sites stand in the sorted lists of
// SortedFlipFields, which give the exact double field at which the next spin
// turns unstable with the neighbours it has: a relaxation takes the spins the
// field reaches from there and relaxes each one's avalanche through the
// queue, and visits nothing else; a reversal changes nothing in the lists.
// The first relaxation after the spins were set, and one at a field where
// some local field could overflow, scan every site as without them. The
// same lists drive the field adiabatically, one avalanche at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/branch.h"
#include "engine/compact_lattice.h"
#include "engine/dynamics.h"
#include "engine/edge_rule.h"
#include "engine/packed_spins.h"
#include "engine/sorted_flip_fields.h"

namespace ebsim {

struct StableOptions {
  Boundary boundary = Boundary::EdgeCopy;
  // The most row-major sweeps at one field (negative constants only); 0:
  // DefaultSweepLimit(n).
  int sweepLimit = 0;
  // Relaxations by flip fields where no constant is negative and there are
  // at most four values of them (elsewhere the sweeps or the scan): the same
  // spins, visiting only the sites that reverse and their neighbours.
  bool events = false;
  // Called now and then in long work between relaxations' ends (every
  // SortedFlipFields::kWorkingEvery sites ordered, scanned, reversed or
  // passed by); may throw to end the
  // work, which leaves the spins as an error does.
  std::function<void()> working;
  // Threads that sort the flip-field lists and scan a leg's start for the
  // spins unstable there (the same results on any number).
  int threads = 1;
};

// 1000 + 4n sweeps: an avalanche moves against the sweeps' order by at
// least one site a sweep, so a few crossings of the lattice are allowed.
int DefaultSweepLimit(int n);

class StableRelaxation {
 public:
  // spins: n x n row by row, each -1, 0 or +1.
  StableRelaxation(CompactLattice lattice, std::vector<std::int8_t> spins, StableOptions options = {});

  void ResetSpins(std::int8_t spin);
  // Every local field at H evaluated from the spins as they stand (an
  // overflow raises as in the pass); nothing reversed.
  void InitLocalFields(double H);
  // The spins relaxed to stability at H; the branch does not matter. An
  // overflow raises where it arises, the spins left as they stood then.
  void Relax(double H, Branch branch);

  const std::int64_t& SpinSum() const { return spinSum_; }
  int Side() const { return n_; }
  std::int8_t Spin(int i, int j) const { return spins_[lattice_.Index(i, j)]; }
  // Row i's spins, good until the next call.
  const std::int8_t* SpinRow(int i) const {
    row_.resize(static_cast<std::size_t>(n_));
    spins_.Unpack(lattice_.Index(i, 1), row_.size(), row_.data());
    return row_.data();
  }
  bool RowChanged(int i) const { return rowChanged_[static_cast<std::size_t>(i - 1)] != 0; }
  // Every site holds its spin as it stands, also after an error.
  std::size_t SitesDone() const { return spins_.size(); }
  // The reversals of the latest relaxation (a spin reversed twice, which
  // only sweeps with negative constants do, counts twice).
  std::int64_t Flips() const { return flips_; }

  // Site (i, j)'s local field at H from the spins as they stand.
  double LocalFieldAt(int i, int j, double H) const;
  Boundary Edges() const { return rule_.Kind(); }
  // Whether the reversals run in row-major sweeps (some constant < 0).
  bool Sweeps() const { return sweeps_; }
  int SweepLimit() const { return sweepLimit_; }
  // Whether the relaxations go by flip fields.
  bool Events() const { return events_; }

  // The field driven adiabatically (by flip fields only): the field of the
  // next avalanche as it moves from `from` on the branch, down or up, and
  // `from` itself while some spin is unstable there; none when the next one
  // lies beyond `limit`. An overflow at either field raises.
  std::optional<double> NextAvalancheField(Branch branch, double from, double limit);
  // One avalanche at H: the first spin of the branch's order that is
  // unstable at H, reversed with every reversal it brings about at H. The
  // latest relaxation's flips and changed rows are its own; returns its
  // size, 0 when no spin of the branch is unstable at H.
  std::int64_t Avalanche(double H, Branch branch);

 private:
  template <class Sum>
  double NeighbourField(std::size_t s) const;
  double Field(std::size_t s, double H) const;
  bool Unstable(std::size_t s, double H) const;
  void StartRelaxation();
  void Reverse(std::size_t s);
  void Requeue(std::size_t s);
  void RelaxByQueue(double H);
  void RelaxBySweeps(double H);
  bool MayOverflow(double H) const;
  // The sign of site s's local field from its kept neighbour field.
  std::int8_t KeptSign(std::size_t s, double H) const;
  void RefreshFields();
  void ScanKept(double H);
  double StoredNeighbourField(std::size_t s) const;
  // The cells whose fields take the spin of site s (a cell may come twice).
  template <class Visit>
  void ForDependents(std::size_t s, Visit&& visit) const;
  void Enqueue(std::size_t s);
  void DrainQueue(double H);
  // The sorted lists: each constant's number (0 to 3), a site's type, the
  // neighbour fields a type can take.
  int ConstantNumber(std::size_t s) const;
  std::uint32_t TypeOf(std::size_t s) const;
  std::vector<double> FieldsOfType(std::uint32_t type) const;
  void BuildOrder();
  void PlaceLanes(bool up, double at);
  bool HeadDue(const SortedFlipFields::Head& head) const;
  void PopHead();
  // What a site's stability reads on its way to the caches: its spin,
  // and its neighbours' spins and constants (those beside it in its row
  // share its words, mostly).
  void PrefetchSite(std::size_t s) const;
  template <class Take>
  void TakeReached(double H, Take&& take);
  bool PendingDue(double H);
  void OrderPending(bool up, bool tied);
  void GatherUnstable(bool up, double H);
  void RelaxByEvents(double H);
  void SettleByScan(double H);
  void AvalancheFrom(std::size_t s, double H);
  void Tick() {
    if ((++ticks_ & (SortedFlipFields::kWorkingEvery - 1)) == 0 && working_) working_();
  }

  CompactLattice lattice_;
  const int n_;
  EdgeRule rule_;
  bool exact_ = false;
  bool sweeps_ = false;
  int sweepLimit_ = 0;
  // Neighbour fields kept (exact sums, no negative constant), and whether
  // they follow the spins as they stand.
  bool keep_ = false;
  bool kept_ = false;
  bool useKept_ = false;
  double threshold_ = 0;
  std::vector<double> field_;
  PackedSpins spins_;
  mutable std::vector<std::int8_t> row_;
  std::vector<std::uint8_t> rowChanged_;
  std::vector<std::uint32_t> changedRows_;
  // Queued sites, a bit each.
  std::vector<std::uint64_t> queued_;
  std::vector<std::uint32_t> queue_;
  // With flip fields: the constants' values by number, the lists (built
  // for the spins 0 as they stand), whether the spins are stable at at_
  // (and the lanes, once placed, follow them), the lanes' way (+1 up, -1
  // down, 0 not placed), and the sites found unstable at at_ not yet taken,
  // in the order their avalanches start.
  bool events_ = false;
  double constantValues_[4] = {};
  int constantCount_ = 0;
  bool anyZeroSpin_ = false;
  bool orderBuilt_ = false;
  bool settled_ = false;
  int lanesWay_ = 0;
  double at_ = 0;
  SortedFlipFields lanes_;
  std::vector<std::uint32_t> pending_;
  std::size_t pendingNext_ = 0;
  std::int64_t spinSum_ = 0;
  std::int64_t flips_ = 0;
  std::function<void()> working_;
  int threads_ = 1;
  std::uint32_t ticks_ = 0;
};

template <class Visit>
inline void StableRelaxation::ForDependents(std::size_t s, Visit&& visit) const {
  const std::size_t n = static_cast<std::size_t>(n_);
  const int i = static_cast<int>(s / n) + 1, j = static_cast<int>(s % n) + 1;
  if (i > 2 && j > 2 && i < n_ - 1 && j < n_ - 1) {
    visit(s - 1), visit(s + 1), visit(s - n), visit(s + n);
    return;
  }
  rule_.ForDependents(i, j, [&](Cell c) { visit(lattice_.Index(c.i, c.j)); });
}

inline void StableRelaxation::PrefetchSite(std::size_t s) const {
  const std::size_t n = static_cast<std::size_t>(n_);
  spins_.Prefetch(s);
  lattice_.Prefetch(s);
  if (s >= n) spins_.Prefetch(s - n), lattice_.Prefetch(s - n);
  if (s + n < spins_.size()) spins_.Prefetch(s + n), lattice_.Prefetch(s + n);
}

static_assert(Dynamics<StableRelaxation>);

}  // namespace ebsim
