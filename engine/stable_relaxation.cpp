#include "engine/stable_relaxation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/round_trip_text.h"
#include "engine/flip_rule.h"
#include "engine/local_field.h"
#include "engine/site_field.h"

namespace ebsim {

int DefaultSweepLimit(int n) { return 1000 + 4 * n; }

namespace {

bool AnyNegativeConstant(const CompactLattice& lattice) {
  const std::size_t sites = static_cast<std::size_t>(lattice.Side()) * static_cast<std::size_t>(lattice.Side());
  if (lattice.Indexed()) return lattice.Value(0) < 0 || lattice.Value(1) < 0;
  return std::any_of(lattice.Constants(), lattice.Constants() + sites, [](double J) { return J < 0; });
}

// The lattice's constants, by number, where there are at most four values;
// how many there are, or 5 beyond that or where one is not finite.
int NumberConstants(const CompactLattice& lattice, double (&values)[4]) {
  if (lattice.Indexed()) {
    values[0] = lattice.Value(0), values[1] = lattice.Value(1);
    return std::isfinite(values[0]) && std::isfinite(values[1]) ? 2 : 5;
  }
  const std::size_t sites = static_cast<std::size_t>(lattice.Side()) * static_cast<std::size_t>(lattice.Side());
  int count = 0;
  for (std::size_t s = 0; s < sites; ++s) {
    const double J = lattice.Constants()[s];
    if (!std::isfinite(J)) return 5;
    if (std::find(values, values + count, J) != values + count) continue;
    if (count == 4) return 5;
    values[count++] = J;
  }
  return count;
}

}  // namespace

StableRelaxation::StableRelaxation(CompactLattice lattice, std::vector<std::int8_t> spins, StableOptions options)
    : lattice_(std::move(lattice)), n_(lattice_.Side()), rule_(n_, options.boundary) {
  const std::size_t sites = static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_);
  if (spins.size() != sites) throw std::invalid_argument("one spin per site is needed");
  for (const std::int8_t s : spins) {
    if (s < -1 || s > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
    spinSum_ += s;
  }
  if (options.sweepLimit < 0) throw std::invalid_argument("the sweep limit must not be negative");
  working_ = std::move(options.working);
  threads_ = options.threads;
  anyZeroSpin_ = std::find(spins.begin(), spins.end(), 0) != spins.end();
  spins_ = PackedSpins(spins);
  std::vector<std::int8_t>().swap(spins);  // = {} would keep the bytes
  lattice_.PackChoices();
  rowChanged_.resize(static_cast<std::size_t>(n_));
  queued_.resize((sites + 63) / 64);
  exact_ = lattice_.SumsExact();
  sweeps_ = AnyNegativeConstant(lattice_);
  sweepLimit_ = options.sweepLimit > 0 ? options.sweepLimit : DefaultSweepLimit(n_);
  constantCount_ = NumberConstants(lattice_, constantValues_);
  events_ = options.events && !sweeps_ && constantCount_ <= 4;
  keep_ = exact_ && !sweeps_ && !events_;
  if (keep_) field_.resize(sites);
  // |fl(F + q)| never exceeds the bound; a t beyond 2^-50 of it has the sign
  // of the extended sum (engine/row_kernels.h).
  const long double bound = lattice_.LargestSum() + lattice_.LargestRandomField();
  threshold_ = std::nextafter(static_cast<double>(bound * 0x1p-50L), HUGE_VAL);
}

bool StableRelaxation::MayOverflow(double H) const {
  return lattice_.SumsMayOverflow() ||
         lattice_.LargestSum() + lattice_.LargestRandomField() + std::fabs(static_cast<long double>(H)) > DBL_MAX / 2;
}

void StableRelaxation::RefreshFields() {
  for (std::size_t s = 0; s < field_.size(); ++s) field_[s] = NeighbourField<double>(s);
  kept_ = true;
}

// Without branches on the sign, which no predictor foresees, but on the
// rare margin.
inline std::int8_t StableRelaxation::KeptSign(std::size_t s, double H) const {
  const double F = field_[s], q = lattice_.RandomField(s);
  const double t = (F + q) + H;
  const int sign = (t > threshold_) - (t < -threshold_);
  if (sign == 0) [[unlikely]]
    return SignOf(LocalField<false>(F, q, H));
  return static_cast<std::int8_t>(sign);
}

void StableRelaxation::ResetSpins(std::int8_t spin) {
  if (spin < -1 || spin > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
  spins_.Fill(spin);
  spinSum_ = static_cast<std::int64_t>(spin) * n_ * n_;
  kept_ = false;
  settled_ = false;
  if (anyZeroSpin_ || spin == 0) orderBuilt_ = false;  // the lists hold no spin 0
  anyZeroSpin_ = spin == 0;
}

// The terms by the edge rule in its order, summed in Sum (double where
// every sum is exact in double, which gives the same value), stored; an
// interior site's are its left, right, upper and lower neighbours.
template <class Sum>
double StableRelaxation::NeighbourField(std::size_t s) const {
  const std::size_t n = static_cast<std::size_t>(n_);
  const int i = static_cast<int>(s / n) + 1, j = static_cast<int>(s % n) + 1;
  const auto term = [&](std::size_t c) -> Sum {
    return static_cast<Sum>(lattice_.Exchange(c)) * static_cast<double>(spins_[c]);
  };
  Sum sum = 0;
  if (i > 1 && j > 1 && i < n_ && j < n_) {
    sum = ((term(s - 1) + term(s + 1)) + term(s - n)) + term(s + n);
  } else {
    const SiteTerms t = TermsOf(rule_, i, j);
    sum = SumInOrder<Sum>(t.count, [&](int k) { return term(t.cell[k]); });
  }
  const double stored = static_cast<double>(sum);
  if (std::isinf(stored)) throw EOverflow();
  return stored;
}

double StableRelaxation::StoredNeighbourField(std::size_t s) const {
  return exact_ ? NeighbourField<double>(s) : NeighbourField<long double>(s);
}

inline double StableRelaxation::Field(std::size_t s, double H) const {
  return LocalField(StoredNeighbourField(s), lattice_.RandomField(s), H);
}

double StableRelaxation::LocalFieldAt(int i, int j, double H) const { return Field(lattice_.Index(i, j), H); }

bool StableRelaxation::Unstable(std::size_t s, double H) const {
  if (useKept_) return spins_[s] * KeptSign(s, H) < 0;
  return spins_[s] * SignOf(Field(s, H)) < 0;
}

void StableRelaxation::Reverse(std::size_t s) {
  spinSum_ -= 2 * spins_[s];
  spins_.Reverse(s);
  const std::size_t row = s / static_cast<std::size_t>(n_);
  if (!rowChanged_[row]) {
    rowChanged_[row] = 1;
    changedRows_.push_back(static_cast<std::uint32_t>(row));
  }
  ++flips_;
}

void StableRelaxation::Enqueue(std::size_t s) {
  std::uint64_t& word = queued_[s / 64];
  const std::uint64_t bit = std::uint64_t{1} << (s % 64);
  if (word & bit) return;
  word |= bit;
  queue_.push_back(static_cast<std::uint32_t>(s));
}

// The cells whose fields take the spin of site s, their kept fields
// refreshed, queued unless they are.
void StableRelaxation::Requeue(std::size_t s) {
  ForDependents(s, [this](std::size_t c) {
    if (keep_) field_[c] = NeighbourField<double>(c);
    Enqueue(c);
  });
}

// Every queued site reversed where it is unstable at H, and the cells its
// reversal reaches queued in turn, until the queue is empty.
void StableRelaxation::DrainQueue(double H) {
  while (!queue_.empty()) {
    const std::size_t s = queue_.back();
    queue_.pop_back();
    queued_[s / 64] &= ~(std::uint64_t{1} << (s % 64));
    Tick();
    if (!Unstable(s, H)) continue;
    Reverse(s);
    Requeue(s);
  }
}

void StableRelaxation::InitLocalFields(double H) {
  for (std::size_t s = 0; s < spins_.size(); ++s) {
    (void)Field(s, H);
    Tick();
  }
  StartRelaxation();
  settled_ = false;
}

void StableRelaxation::StartRelaxation() {
  for (const std::uint32_t row : changedRows_) rowChanged_[row] = 0;
  changedRows_.clear();
  flips_ = 0;
}

void StableRelaxation::Relax(double H, Branch) {
  StartRelaxation();
  if (sweeps_) {
    RelaxBySweeps(H);
  } else if (events_ && !MayOverflow(H)) {
    RelaxByEvents(H);
  } else {
    SettleByScan(H);
  }
}

// Every site scanned; with flip fields, stable at H, from where the lanes
// are placed (an error leaves them unsettled).
void StableRelaxation::SettleByScan(double H) {
  settled_ = false;
  RelaxByQueue(H);
  if (!events_) return;
  settled_ = true;
  lanesWay_ = 0;
  at_ = H;
}

void StableRelaxation::RelaxByQueue(double H) {
  std::fill(queued_.begin(), queued_.end(), 0);
  queue_.clear();
  if (keep_ && !kept_) RefreshFields();
  useKept_ = keep_ && !MayOverflow(H);
  if (useKept_) {
    ScanKept(H);
  } else {
    for (std::size_t s = 0; s < spins_.size(); ++s) {
      Tick();
      if (!Unstable(s, H)) [[likely]]
        continue;
      Enqueue(s);
    }
  }
  DrainQueue(H);
}

// The scan by the kept fields, a block of sites at a time: a site is a
// candidate where S t, with t the double sum, does not exceed the margin
// (its sign opposes the spin, or the sum lies within the margin), and the
// sites of a block with a candidate are checked one by one.
void StableRelaxation::ScanKept(double H) {
  constexpr std::size_t kBlock = 64;
  const double* F = field_.data();
  const double* q = lattice_.RandomFields();
  const double margin = threshold_;
  const std::size_t sites = spins_.size();
  for (std::size_t first = 0; first < sites; first += kBlock) {
    const std::size_t end = std::min(sites, first + kBlock);
    std::int8_t S[kBlock];
    spins_.Unpack(first, end - first, S);
    int any = 0;
    for (std::size_t s = first; s < end; ++s) {
      const double t = (F[s] + q[s]) + H;
      any |= (static_cast<double>(S[s - first]) * t <= margin) & (S[s - first] != 0);
    }
    if (first % SortedFlipFields::kWorkingEvery == 0 && working_) working_();
    if (any == 0) [[likely]]
      continue;
    for (std::size_t s = first; s < end; ++s)
      if (Unstable(s, H)) Enqueue(s);
  }
}

void StableRelaxation::RelaxBySweeps(double H) {
  for (int sweep = 0; sweep < sweepLimit_; ++sweep) {
    bool reversed = false;
    for (std::size_t s = 0; s < spins_.size(); ++s) {
      Tick();
      if (!Unstable(s, H)) continue;
      Reverse(s);
      reversed = true;
    }
    if (!reversed) return;
  }
  throw EConvertError("The spins did not settle at H = " + ShortestText(H) + " within " +
                      std::to_string(sweepLimit_) + (sweepLimit_ == 1 ? " sweep" : " sweeps"));
}

}  // namespace ebsim
