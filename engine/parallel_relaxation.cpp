#include "engine/parallel_relaxation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "engine/checked_sums.h"
#include "engine/edge_rule.h"
#include "engine/flip_rule.h"
#include "engine/local_field.h"
#include "engine/site_field.h"

namespace ebsim {

namespace {

// The sign of the stored local field (F + q) + H, F exact in double: that of
// t = fl(fl(F + q) + H) when |t| exceeds the threshold, else summed in
// extended precision. The kernels do the same in each lane.
std::int8_t SignFrom(double F, double q, const PassConstants& c) {
  const double t = (F + q) + c.H;
  if (t > c.threshold) return 1;
  if (t < -c.threshold) return -1;
  return SignOf(LocalField<false>(F, q, c.H));
}

}  // namespace

ParallelRelaxation::ParallelRelaxation(CompactLattice lattice, std::vector<std::int8_t> spins,
                                       RelaxationOptions options)
    : ParallelRelaxation(std::move(lattice), 0, options) {
  const std::size_t sites = spins_[0].size();
  if (spins.size() != sites) throw std::invalid_argument("one spin per site is needed");
  for (const std::int8_t s : spins) {
    if (s < -1 || s > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
    spinSum_ += s;
  }
  ForBands([&](std::size_t begin, std::size_t end) {
    std::copy(spins.begin() + static_cast<std::ptrdiff_t>(begin), spins.begin() + static_cast<std::ptrdiff_t>(end),
              spins_[0].begin() + static_cast<std::ptrdiff_t>(begin));
  });
}

ParallelRelaxation::ParallelRelaxation(CompactLattice lattice, std::int8_t spin, RelaxationOptions options)
    : lattice_(std::move(lattice)),
      n_(lattice_.Side()),
      options_(options),
      rule_(n_, options.boundary),
      simd_(options.simd.value_or(WidestSimdLevel())),
      kernels_(&KernelsFor(simd_)),
      pool_(std::make_unique<WorkerPool>(std::clamp(options.threads, 1, lattice_.Side()))) {
  if (spin < -1 || spin > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
  const std::size_t sites = static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_);
  spinSum_ = static_cast<std::int64_t>(spin) * static_cast<std::int64_t>(sites);
  // The state's pages are first written by the team, each member where its
  // band lies, rather than zeroed on one thread.
  for (auto* state : {&spins_[0], &spins_[1], &spins_[2], &previousSign_, &latestSign_}) state->resize(sites);
  ForBands([&](std::size_t begin, std::size_t end) {
    const auto at = [](auto& v, std::size_t k) { return v.begin() + static_cast<std::ptrdiff_t>(k); };
    std::fill(at(spins_[0], begin), at(spins_[0], end), spin);
    for (auto* state : {&spins_[1], &spins_[2], &previousSign_, &latestSign_})
      std::fill(at(*state, begin), at(*state, end), 0);
  });
  rowChanged_.resize(static_cast<std::size_t>(n_));
  noSpins_.resize(static_cast<std::size_t>(n_));
  noMasks_.resize(static_cast<std::size_t>(n_));
  noConstants_.resize(static_cast<std::size_t>(n_));
  bandChange_.resize(static_cast<std::size_t>(pool_->Size()));
  // |fl(F + q)| never exceeds this bound; a t beyond 2^-50 of it has the
  // sign of the extended sum (see PassConstants).
  fastSites_ = lattice_.SumsExact() && !options_.exactSitesOnly;
  // Whole constants of magnitude 31 or less keep every neighbour field, a sum
  // of four of them with signs, within a byte.
  wholeConstants_ = lattice_.Indexed();
  for (int k = 0; k < 2; ++k) {
    const double v = lattice_.Value(k);
    wholeConstants_ = wholeConstants_ && v == std::trunc(v) && std::fabs(v) <= 31;
    whole_[k] = wholeConstants_ ? static_cast<std::int8_t>(v) : 0;
  }
  const long double bound = lattice_.LargestSum() + lattice_.LargestRandomField();
  threshold_ = std::nextafter(static_cast<double>(bound * 0x1p-50L), HUGE_VAL);
}

template <class Work>
void ParallelRelaxation::ForBands(Work&& work) {
  pool_->Run([&](int k) {
    int first = 0, last = 0;
    BandRows(k, first, last);
    if (first <= last) work(lattice_.Index(first, 1), lattice_.Index(last, n_) + 1);
  });
}

std::size_t ParallelRelaxation::MemoryBytes() const {
  const std::size_t sites = static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_);
  return sites * (3 + 2 + sizeof(double) + (lattice_.Indexed() ? 1 : sizeof(double)));
}

// Whether a sum or a local field could leave the double range: only with
// enormous constants, random fields or applied fields.
bool ParallelRelaxation::MayOverflow(double H) const { return FieldsMayOverflow(lattice_, H); }

PassConstants ParallelRelaxation::ConstantsFor(double H) const {
  return PassConstants{H, threshold_, lattice_.Value(0), lattice_.Value(1), whole_[0], whole_[1]};
}

void ParallelRelaxation::BandRows(int k, int& first, int& last) const {
  const int size = pool_->Size();
  first = 1 + static_cast<int>(static_cast<long long>(n_) * k / size);
  last = static_cast<int>(static_cast<long long>(n_) * (k + 1) / size);
}

void ParallelRelaxation::Advance(double H) {
  hPrevious_ = hLatest_;
  hLatest_ = H;
  current_ = (current_ + 1) % 3;
}

void ParallelRelaxation::ResetSpins(std::int8_t spin) {
  if (spin < -1 || spin > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
  std::fill(spins_[current_].begin(), spins_[current_].end(), spin);
  spinSum_ = static_cast<std::int64_t>(spin) * n_ * n_;
}

void ParallelRelaxation::InitLocalFields(double H) {
  for (int b = 1; b < 3; ++b) spins_[(current_ + b) % 3] = spins_[current_];
  hPrevious_ = hLatest_ = H;
  if (MayOverflow(H)) {
    CheckedInit(H);
  } else {
    const std::int8_t* spins = spins_[current_].data();
    const PassConstants c = ConstantsFor(H);
    pool_->Run([&](int k) {
      int first = 0, last = 0;
      BandRows(k, first, last);
      EvaluateRows(first, last, spins, spins, c);
    });
  }
  latestSign_ = previousSign_;
  std::fill(rowChanged_.begin(), rowChanged_.end(), 0);
  flips_ = 0;
  sitesDone_ = lattice_.Index(n_, n_) + 1;
}

void ParallelRelaxation::Relax(double H, Branch branch) {
  if (!MayOverflow(H)) {
    ParallelPass(H, branch);
  } else if (branch == Branch::Descending) {
    CheckedPass<Branch::Descending>(H);
  } else {
    CheckedPass<Branch::Ascending>(H);
  }
}

// The pass's reversals, then every site's new local-field sign, row after
// row: a row's reversals just before its fields, which read the reversed
// spins of the row above and of rows 1 and 2 (for row n). A team therefore
// first reverses the last row of each band and rows 1 and 2, waits for all,
// then takes its band row after row.
void ParallelRelaxation::ParallelPass(double H, Branch branch) {
  const std::int8_t* before = spins_[current_].data();
  const std::int8_t* after = spins_[(current_ + 1) % 3].data();
  const PassConstants c = ConstantsFor(H);
  flips_ = 0;
  if (pool_->Size() == 1) {
    for (int i = 1; i <= n_; ++i) {
      const RowChange r = ReverseRows(i, i, branch);
      spinSum_ += r.change;
      flips_ += r.flips;
      EvaluateRows(i, i, before, after, c);
    }
  } else {
    pool_->Run([&](int k) {
      int first = 0, last = 0;
      BandRows(k, first, last);
      auto early = [last](int i) { return i == last || i <= 2; };
      RowChange change;
      for (int i = first; i <= last && i <= 2; ++i) change += ReverseRows(i, i, branch);
      if (last > 2) change += ReverseRows(last, last, branch);
      pool_->Barrier();
      for (int i = first; i <= last; ++i) {
        if (!early(i)) change += ReverseRows(i, i, branch);
        EvaluateRows(i, i, before, after, c);
      }
      bandChange_[static_cast<std::size_t>(k)] = change;
    });
    for (const RowChange& change : bandChange_) {
      spinSum_ += change.change;
      flips_ += change.flips;
    }
  }
  std::swap(previousSign_, latestSign_);
  Advance(H);
  sitesDone_ = lattice_.Index(n_, n_) + 1;
}

ParallelRelaxation::RowChange ParallelRelaxation::ReverseRows(int first, int last, Branch branch) {
  const auto reverse = branch == Branch::Descending ? kernels_->reverseDescending : kernels_->reverseAscending;
  std::int8_t* after = spins_[(current_ + 1) % 3].data();
  RowChange change;
  for (int i = first; i <= last; ++i) {
    const std::size_t row = lattice_.Index(i, 1);
    const RowReversal r = reverse(previousSign_.data() + row, latestSign_.data() + row,
                                  spins_[current_].data() + row, after + row, n_);
    rowChanged_[static_cast<std::size_t>(i - 1)] = r.changed;
    change.change += r.change;
    change.flips += r.flips;
  }
  return change;
}

void ParallelRelaxation::EvaluateRows(int first, int last, const std::int8_t* before, const std::int8_t* after,
                                      const PassConstants& c) {
  for (int i = first; i <= last; ++i) EvaluateRow(i, before, after, c);
}

// Site (i, j) by the edge rules, one at a time.
std::int8_t ParallelRelaxation::OneSite(int i, int j, const std::int8_t* before, const std::int8_t* after,
                                        double H) const {
  const double q = lattice_.RandomField(lattice_.Index(i, j));
  if (fastSites_)
    return SignFrom(SiteField<double>(lattice_, rule_, before, after, i, j), q, ConstantsFor(H));
  return SignOf(LocalField<false>(SiteField<long double>(lattice_, rule_, before, after, i, j), q, H));
}

// The sign at site (i, 1) or (i, n) of a row 1 < i < n, whose neighbour
// field is that of (i, 1) by edge copy, its own otherwise. The sums are
// exact.
std::int8_t ParallelRelaxation::ColumnSite(int i, int j, const std::int8_t* before, const std::int8_t* after,
                                           const PassConstants& c) const {
  return SignFrom(SiteField<double>(lattice_, rule_, before, after, i, j), lattice_.RandomField(lattice_.Index(i, j)), c);
}

// Row i's new signs, written over the older ones: its first and last sites
// one by one, the n - 2 between them by the row kernel.
void ParallelRelaxation::EvaluateRow(int i, const std::int8_t* before, const std::int8_t* after,
                                     const PassConstants& c) {
  std::int8_t* sign = previousSign_.data() + lattice_.Index(i, 1);
  if (n_ <= 2 || !fastSites_) {
    for (int j = 1; j <= n_; ++j) sign[j - 1] = OneSite(i, j, before, after, c.H);
    return;
  }
  const bool inner = i > 1 && i < n_;
  sign[0] = inner ? ColumnSite(i, 1, before, after, c) : OneSite(i, 1, before, after, c.H);
  RowInput in = RowFor(i, before, after);
  in.randomField = lattice_.RandomFields() + lattice_.Index(i, 1);
  in.sign = sign;
  in.begin = 1;
  in.end = n_ - 1;
  (wholeConstants_    ? kernels_->evaluateWhole
   : lattice_.Indexed() ? kernels_->evaluateIndexed
                        : kernels_->evaluateConstants)(in, c);
  sign[n_ - 1] = inner ? ColumnSite(i, n_, before, after, c) : OneSite(i, n_, before, after, c.H);
}

// The neighbour rows of row i's sites 2..n-1, which the edge rule gives
// them all alike (those of the cell each repeats, for row n in row 1 under
// edge copy; under periodic boundaries row 1's upper row is row n and row
// n's lower row is row 1; under open ones row 1 has no upper row and row n
// no lower one): a
// row above, or the site's left neighbour, the pass has visited, so its
// spins are taken after their reversals; others before them. The kernels
// sum left, right, upper and lower terms, in that order, which the exact
// sums allow.
RowInput ParallelRelaxation::RowFor(int i, const std::int8_t* before, const std::int8_t* after) const {
  const EdgeRule& rule = rule_;
  const Cell site = rule.Source(i, 2);
  const NeighbourOffsets o = rule.Offsets(site.i, site.j);
  int rows[4] = {0, 0, 0, 0};  // left, right, upper, lower; 0: none
  const std::int8_t* from[4] = {};
  for (int k = 0; k < o.count; ++k) {
    const int slot = o.dj[k] < 0 ? 0 : o.dj[k] > 0 ? 1 : o.di[k] < 0 ? 2 : 3;
    rows[slot] = rule.At(site.i + o.di[k], site.j + o.dj[k]).i;
    from[slot] = rows[slot] < i || (rows[slot] == i && o.dj[k] < 0) ? after : before;
  }
  const std::int8_t* spins[4];
  const std::uint8_t* masks[4];
  const double* constants[4];
  for (int k = 0; k < 4; ++k) {
    const bool none = rows[k] == 0;
    const std::size_t at = none ? 0 : lattice_.Index(rows[k], 1);
    spins[k] = none ? noSpins_.data() : from[k] + at;
    masks[k] = none || !lattice_.Indexed() ? noMasks_.data() : lattice_.Masks() + at;
    constants[k] = none || lattice_.Indexed() ? noConstants_.data() : lattice_.Constants() + at;
  }
  RowInput in{};
  in.left = spins[0], in.right = spins[1], in.up = spins[2], in.down = spins[3];
  in.maskLeft = masks[0], in.maskRight = masks[1], in.maskUp = masks[2], in.maskDown = masks[3];
  in.constLeft = constants[0], in.constRight = constants[1], in.constUp = constants[2], in.constDown = constants[3];
  return in;
}

SiteFieldValues ParallelRelaxation::SiteFields(int i, int j) const {
  const std::int8_t* latest = spins_[current_].data();
  const std::int8_t* before = spins_[(current_ + 2) % 3].data();
  const std::int8_t* older = spins_[(current_ + 1) % 3].data();
  const bool exact = lattice_.SumsExact();
  auto field = [&](const std::int8_t* from, const std::int8_t* to) {
    return exact ? SiteField<double>(lattice_, rule_, from, to, i, j) : SiteField<long double>(lattice_, rule_, from, to, i, j);
  };
  const double q = lattice_.RandomField(lattice_.Index(i, j));
  SiteFieldValues v{};
  v.neighbour = field(before, latest);
  v.latest = LocalField(v.neighbour, q, hLatest_);
  v.previous = LocalField(field(older, before), q, hPrevious_);
  return v;
}

}  // namespace ebsim
