#pragma once
// The spins' relaxation computed a whole pass at a time. A spin reverses in
// pass t + 1 when the local fields evaluated in passes t - 1 and t have
// opposite signs (on the ascending branch also when either is zero), so all
// reversals of a pass follow from the two stored signs of each site; and a
// site's new local field takes its neighbours' spins after their reversal
// when the row-major pass visits them no later than the site (for a site of
// row n or column n, no later than the site itself, whatever cell it
// copies), before it otherwise. A pass is thus a function of its starting
// state, computed here row by row in SIMD lanes and on several threads,
// with the same spins to the bit as visiting one site at a time.
//
// Nothing reads a local field but the flip test, which needs only its
// sign: each site keeps the signs of its two latest local fields, and the
// values themselves are computed only when asked for (SiteFields).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/uninitialized_vector.h"
#include "engine/branch.h"
#include "engine/compact_lattice.h"
#include "engine/dynamics.h"
#include "engine/edge_rule.h"
#include "engine/row_kernels.h"
#include "engine/worker_pool.h"

namespace ebsim {

struct RelaxationOptions {
  int threads = 1;
  // The kernels' instruction set; by default the widest this CPU runs.
  std::optional<SimdLevel> simd;
  // Every site by the one-site evaluation in extended precision, as for a
  // lattice whose sums are not exact in double: for comparisons.
  bool exactSitesOnly = false;
  // How the lattice ends at its edges (engine/edge_rule.h).
  Boundary boundary = Boundary::EdgeCopy;
};

// A site's fields as a visit of one site at a time leaves them after the
// latest pass.
struct SiteFieldValues {
  double neighbour;  // the latest neighbour field
  double previous;   // the local field of the pass before
  double latest;     // the latest local field
};

class ParallelRelaxation {
 public:
  // spins: n x n row by row, each -1, 0 or +1.
  ParallelRelaxation(CompactLattice lattice, std::vector<std::int8_t> spins, RelaxationOptions options = {});
  // Every spin `spin` (-1, 0 or +1).
  ParallelRelaxation(CompactLattice lattice, std::int8_t spin, RelaxationOptions options = {});

  // Every spin set to spin (-1, 0 or +1), as a Run leaves them.
  void ResetSpins(std::int8_t spin);

  // The initial pass at field H: both local fields of every site evaluated
  // from the spins as they stand.
  void InitLocalFields(double H);

  // One pass at field H. Where some local field could overflow, the pass
  // runs site by site in row-major order and raises the overflow at the
  // visit where it arises, leaving the spins as they stood then (SitesDone
  // tells which visit); the engine is then done with.
  void Relax(double H, Branch branch);

  // Sum of the spins, kept up to date by the passes.
  const std::int64_t& SpinSum() const { return spinSum_; }

  int Side() const { return n_; }
  // Spin of site (i, j), 1-based, and row i's n spins from column 1.
  std::int8_t Spin(int i, int j) const { return spins_[current_][lattice_.Index(i, j)]; }
  const std::int8_t* SpinRow(int i) const { return spins_[current_].data() + lattice_.Index(i, 1); }
  // Whether some spin of row i changed in the latest pass.
  bool RowChanged(int i) const { return rowChanged_[static_cast<std::size_t>(i - 1)] != 0; }
  // The sites, in row-major order, whose visit the latest pass finished:
  // all of them unless it raised, else those before the one that raised.
  std::size_t SitesDone() const { return sitesDone_; }
  // How many spins the latest pass reversed (none by the initial one).
  std::int64_t Flips() const { return flips_; }

  // Site (i, j)'s fields after the latest pass (or the initial one),
  // recomputed from the spins of the latest three states.
  SiteFieldValues SiteFields(int i, int j) const;

  int Threads() const { return pool_->Size(); }
  Boundary Edges() const { return rule_.Kind(); }
  SimdLevel Simd() const { return simd_; }
  // The bytes held for the lattice and its state.
  std::size_t MemoryBytes() const;

 private:
  bool MayOverflow(double H) const;
  PassConstants ConstantsFor(double H) const;
  void EvaluateRows(int first, int last, const std::int8_t* before, const std::int8_t* after,
                    const PassConstants& c);
  void EvaluateRow(int i, const std::int8_t* before, const std::int8_t* after, const PassConstants& c);
  RowInput RowFor(int i, const std::int8_t* before, const std::int8_t* after) const;
  std::int8_t OneSite(int i, int j, const std::int8_t* before, const std::int8_t* after, double H) const;
  std::int8_t ColumnSite(int i, int j, const std::int8_t* before, const std::int8_t* after,
                         const PassConstants& c) const;
  // What reversals did to a stretch of rows: the spin sum's change and the
  // spins reversed.
  struct RowChange {
    std::int64_t change = 0;
    std::int64_t flips = 0;
    RowChange& operator+=(const RowChange& r) {
      change += r.change;
      flips += r.flips;
      return *this;
    }
  };
  RowChange ReverseRows(int first, int last, Branch branch);
  void ParallelPass(double H, Branch branch);
  // Rows first..last of band k of the pool's team.
  void BandRows(int k, int& first, int& last) const;
  // work(begin, end) on each band's sites, on the pool's team.
  template <class Work>
  void ForBands(Work&& work);
  void Advance(double H);
  // The site-by-site passes with every overflow check (checked_relaxation.cpp).
  void CheckedInit(double H);
  template <Branch branch>
  void CheckedPass(double H);

  CompactLattice lattice_;
  const int n_;
  RelaxationOptions options_;
  EdgeRule rule_;
  SimdLevel simd_;
  const RowKernels* kernels_;
  // The spins after the latest pass and the two before it, in turn.
  UninitializedVector<std::int8_t> spins_[3];
  int current_ = 0;
  // Signs of each site's two latest local fields; a pass writes its new
  // signs over the older ones and then swaps the two.
  UninitializedVector<std::int8_t> previousSign_, latestSign_;
  std::vector<std::uint8_t> rowChanged_;
  // A row of nothing, for the missing neighbours of row 1 and row n.
  std::vector<std::int8_t> noSpins_;
  std::vector<std::uint8_t> noMasks_;
  std::vector<double> noConstants_;
  std::int64_t spinSum_ = 0;
  std::size_t sitesDone_ = 0;
  std::int64_t flips_ = 0;
  // Whether the row kernels and the double sums serve this lattice.
  bool fastSites_ = false;
  // Whether the constants are two small whole numbers, and those as bytes.
  bool wholeConstants_ = false;
  std::int8_t whole_[2] = {0, 0};
  double threshold_ = 0;
  double hLatest_ = 0, hPrevious_ = 0;
  std::unique_ptr<WorkerPool> pool_;
  std::vector<RowChange> bandChange_;
};

static_assert(Dynamics<ParallelRelaxation>);

}  // namespace ebsim
