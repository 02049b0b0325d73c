#pragma once
// The pass dynamics computed by events: the same spins, sums and counts as
// ParallelRelaxation to the bit, with each relaxation visiting only the
// sites whose local-field sign may change.
//
// A pass reverses the sites whose two latest local-field signs call for it
// (engine/flip_rule.h), all decided by the signs it starts from; a site's
// new local field then takes a neighbour's spin after that reversal when
// the row-major pass visits the neighbour no later than the site, before it
// otherwise (engine/site_field.h). So the neighbour field of a site differs
// from its field of the pass before only where an earlier neighbour
// reverses in this pass or a later one reversed in the pass before; and
// with its neighbour field unchanged, the sign of its local field is that
// of H - c for a critical field c of its own (engine/field_plan.h), so that
// along a stretch of fields that never turns back it changes at one step
// at most, found by bisection and kept in that step's bucket.
//
// A relaxation at a field the plan does not expect, the first of a stretch,
// and one where some sum could overflow visit every site in row-major
// order, as the checked pass does; the others visit the sites due at that
// step, the neighbours of the reversed spins, and nothing else.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/huge_pages.h"
#include "engine/branch.h"
#include "engine/compact_lattice.h"
#include "engine/dynamics.h"
#include "engine/edge_rule.h"
#include "engine/field_plan.h"

namespace ebsim {

class EventRelaxation {
 public:
  // spins: n x n row by row, each -1, 0 or +1.
  EventRelaxation(CompactLattice lattice, std::vector<std::int8_t> spins, Boundary boundary = Boundary::EdgeCopy);

  // The applied fields of the relaxations to come, in order. A relaxation
  // at another field drops the plan; without one every relaxation visits
  // every site.
  void ExpectFields(std::vector<double> fields);

  void ResetSpins(std::int8_t spin);
  void InitLocalFields(double H);
  void Relax(double H, Branch branch);

  std::int64_t SpinSum() const { return spinSum_; }
  int Side() const { return n_; }
  std::int8_t Spin(int i, int j) const { return spins_[lattice_.Index(i, j)]; }
  const std::int8_t* SpinRow(int i) const { return spins_.data() + lattice_.Index(i, 1); }
  bool RowChanged(int i) const { return rowChanged_[static_cast<std::size_t>(i - 1)] != 0; }
  std::size_t SitesDone() const { return sitesDone_; }
  std::int64_t Flips() const { return flips_; }

  Boundary Edges() const { return rule_.Kind(); }
  // How many sites the latest relaxation evaluated.
  std::size_t Visits() const { return visits_; }

 private:
  // One site's new local-field sign and what it implies.
  struct Evaluation {
    std::int8_t sign;
    long double critical;
  };
  template <bool checked>
  Evaluation Evaluate(std::size_t s, int i, int j) const;
  double InnerField(std::size_t s) const;
  // A neighbour's spin as the pass found it, c unvisited by site s.
  int SpinBefore(std::size_t c) const { return sites_[c].marks & kReversed ? -spins_[c] : spins_[c]; }
  void Store(std::size_t s, const Evaluation& e, bool planned);
  void Reverse(std::size_t s);
  void StartRelaxation();
  void EndRelaxation();
  template <bool checked>
  void WholePass(double H, Branch branch, bool planned);
  void EventPass(double H, Branch branch);
  void ReversePending(Branch branch);
  void QueueDependents(std::size_t k, bool later);
  void Queue(std::size_t s);
  void Prefetch(std::size_t s) const;

  CompactLattice lattice_;
  const int n_;
  EdgeRule rule_;
  FieldPlan plan_;
  // Whether the buckets hold every site's next change along the plan.
  bool duesValid_ = false;
  std::vector<std::int8_t, HugePageAllocator<std::int8_t>> spins_;
  // What a site keeps beside its spin: the signs of its two latest local
  // fields (equal apart from the sites in changed_), its marks, and the
  // plan position of its next change.
  enum Mark : std::uint8_t { kReversed = 1, kInZeros = 4 };
  struct SiteState {
    std::int8_t previous = 0, latest = 0;
    std::uint8_t marks = 0;
    std::uint32_t due = UINT32_MAX;
  };
  std::vector<SiteState, HugePageAllocator<SiteState>> sites_;
  std::vector<std::size_t> changed_;
  // Sites whose latest sign is 0 (and some whose sign has left 0 since).
  std::vector<std::size_t> zeros_;
  // The spins the current relaxation reversed (not those of 0), marked, and
  // the ones the relaxation before reversed.
  std::vector<std::size_t> reversed_, reversedBefore_;
  // The sites to evaluate in the current relaxation, marked in queued_ (a
  // bit a site, which the caches hold where the sites' states miss).
  std::vector<std::size_t> queue_;
  std::vector<std::uint64_t> queued_;
  // Each plan position's sites due to change there.
  std::vector<std::vector<std::uint32_t>> buckets_;
  std::vector<std::uint8_t> rowChanged_;
  std::vector<int> changedRows_;
  double H_ = 0;
  std::int64_t spinSum_ = 0;
  std::size_t sitesDone_ = 0;
  std::int64_t flips_ = 0;
  std::size_t visits_ = 0;
};

static_assert(Dynamics<EventRelaxation>);

}  // namespace ebsim
