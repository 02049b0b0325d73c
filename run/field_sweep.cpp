#include "run/field_sweep.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "base/errors.h"
#include "base/float_checks.h"
#include "model/neighbour_sum.h"
#include "engine/exact_sums.h"
#include "run/lattice_relaxation.h"
#include "engine/local_field.h"
#include "run/loop_measurements.h"
#include "form/loop_plot.h"
#include "form/panel_geometry.h"
#include "form/run_display.h"

namespace ebsim {

namespace {

// The flip test on the two latest local fields themselves: their product,
// formed in extended precision, below zero on the way down, zero or below
// on the way up; the signs decide.
template <Branch branch>
inline bool Reverses(double previous, double latest) {
  if constexpr (branch == Branch::Descending) return (previous < 0 && latest > 0) || (previous > 0 && latest < 0);
  return !(((previous > 0) & (latest > 0)) | ((previous < 0) & (latest < 0)));
}

}  // namespace

SpinRelaxation::SpinRelaxation(LatticeState& lattice, int n) : lattice_(lattice), n_(n) {
  long double largest = 0;
  ExactSumCheck exact;
  for (int i = 1; i <= n_; ++i) {
    for (int j = 1; j <= n_; ++j) {
      exact.Add(lattice_.ExchangeMap(i, j));
      largest = std::fmax(largest, std::fabs(static_cast<long double>(lattice_.ExchangeMap(i, j))));
      largestRandomField_ = std::fmax(largestRandomField_, std::fabs(lattice_.QrfMap(i, j)));
      spinSum_ += static_cast<std::int64_t>(lattice_.SpinMap(i, j));
    }
  }
  largestSum_ = 4 * largest;
  sumsMayOverflow_ = largestSum_ > DBL_MAX;
  sumsExact_ = !sumsMayOverflow_ && exact.Exact();
}

// The exchange field of computed cell (i, j) by the edge rules.
long double SpinRelaxation::NeighbourSum(int i, int j) const {
  return ebsim::NeighbourSum(lattice_.ExchangeMap, lattice_.SpinMap, n_, i, j);
}

// Site (i, j)'s neighbour field, that of the cell it copies for a site of
// row n or column n, stored in its cell.
double SpinRelaxation::StoreNeighbourField(int i, int j) {
  const int si = n_ > 1 && i == n_ ? 1 : i;
  const int sj = n_ > 1 && j == n_ ? 1 : j;
  const double field = static_cast<double>(NeighbourSum(si, sj));
  if (std::isinf(field)) throw EOverflow();
  lattice_.NeighbourFieldMap(i, j) = field;
  return field;
}

// After site (i, j) reversed: the computed cells that sum its spin must
// still hold their sums as doubles.
void SpinRelaxation::CheckSumsAround(int i, int j) const {
  const int last = n_ > 1 ? n_ - 1 : 1;
  const int neighbours[4][2] = {{i, j - 1}, {i, j + 1}, {i - 1, j}, {i + 1, j}};
  for (const auto& c : neighbours) {
    if (c[0] < 1 || c[1] < 1 || c[0] > last || c[1] > last || n_ == 1) continue;
    if (std::isinf(static_cast<double>(NeighbourSum(c[0], c[1])))) throw EOverflow();
  }
}

void SpinRelaxation::InitLocalFields(double H) {
  for (int i = 1; i <= n_; ++i) {
    for (int j = 1; j <= n_; ++j) {
      const double local = LocalField(StoreNeighbourField(i, j), lattice_.QrfMap(i, j), H);
      lattice_.PrevLocalFieldMap(i, j) = local;
      lattice_.LocalFieldMap(i, j) = local;
    }
  }
}

void SpinRelaxation::Reversed(int i, int j) {
  double& spin = lattice_.SpinMap(i, j);
  spinSum_ -= 2 * static_cast<std::int64_t>(spin);
  spin = -spin;
  if (sumsMayOverflow_) CheckSumsAround(i, j);
}

template <Branch branch>
void SpinRelaxation::Visit(int i, int j, double H, DrawingSurface* surface) {
  const double latest = lattice_.LocalFieldMap(i, j);
  const bool reverses = Reverses<branch>(lattice_.PrevLocalFieldMap(i, j), latest);
  lattice_.PrevLocalFieldMap(i, j) = latest;
  if (reverses) Reversed(i, j);
  lattice_.LocalFieldMap(i, j) = LocalField(StoreNeighbourField(i, j), lattice_.QrfMap(i, j), H);
  if (surface) DrawSpinSquare(*surface, lattice_, i, j);
}

template <Branch branch, bool exactSums, bool mayOverflow>
void SpinRelaxation::VisitInnerRow(int i, double H, DrawingSurface* surface) {
  const double* J = lattice_.ExchangeMap.Row(i);
  const double* Jup = lattice_.ExchangeMap.Row(i - 1);
  const double* Jdown = lattice_.ExchangeMap.Row(i + 1);
  double* S = lattice_.SpinMap.Row(i);
  const double* Sup = lattice_.SpinMap.Row(i - 1);
  const double* Sdown = lattice_.SpinMap.Row(i + 1);
  double* prev = lattice_.PrevLocalFieldMap.Row(i);
  double* local = lattice_.LocalFieldMap.Row(i);
  double* neighbour = lattice_.NeighbourFieldMap.Row(i);
  const double* q = lattice_.QrfMap.Row(i);
  const int end = n_;
  const int shownEnd = surface && i <= kShownSide ? std::min(end, kShownSide + 1) : 0;
  for (int j = 2; j < end; ++j) {
    const double latest = local[j];
    const bool reverses = Reverses<branch>(prev[j], latest);
    prev[j] = latest;
    if (reverses) [[unlikely]] Reversed(i, j);
    // Left, right, upper, lower.
    double field;
    if constexpr (exactSums) {
      field = J[j - 1] * S[j - 1] + J[j + 1] * S[j + 1] + Jup[j] * Sup[j] + Jdown[j] * Sdown[j];
    } else {
      field = static_cast<double>(static_cast<long double>(J[j - 1]) * S[j - 1] +
                                  static_cast<long double>(J[j + 1]) * S[j + 1] +
                                  static_cast<long double>(Jup[j]) * Sup[j] +
                                  static_cast<long double>(Jdown[j]) * Sdown[j]);
      if (std::isinf(field)) throw EOverflow();
    }
    neighbour[j] = field;
    local[j] = LocalField<mayOverflow>(field, q[j], H);
    if (j < shownEnd) DrawSpinSquare(*surface, lattice_, i, j);
  }
}

template <Branch branch, bool exactSums, bool mayOverflow>
void SpinRelaxation::Pass(double H, DrawingSurface* surface) {
  for (int i = 1; i <= n_; ++i) {
    if (i == 1 || i == n_) {
      for (int j = 1; j <= n_; ++j) Visit<branch>(i, j, H, surface);
      continue;
    }
    Visit<branch>(i, 1, H, surface);
    VisitInnerRow<branch, exactSums, mayOverflow>(i, H, surface);
    if (n_ > 1) Visit<branch>(i, n_, H, surface);
  }
}

template <Branch branch>
void SpinRelaxation::PassFor(double H, DrawingSurface* surface) {
  // A local field can leave the double range only with enormous constants,
  // random fields or applied fields; then every one is checked.
  const bool mayOverflow = largestSum_ + largestRandomField_ + std::fabs(static_cast<long double>(H)) > DBL_MAX / 2;
  if (sumsExact_)
    mayOverflow ? Pass<branch, true, true>(H, surface) : Pass<branch, true, false>(H, surface);
  else
    mayOverflow ? Pass<branch, false, true>(H, surface) : Pass<branch, false, false>(H, surface);
}

void SpinRelaxation::RelaxPass(double H, Branch branch, DrawingSurface* surface) {
  branch == Branch::Descending ? PassFor<Branch::Descending>(H, surface) : PassFor<Branch::Ascending>(H, surface);
}

RunInputs ReadRunInputs(const ModelParameters& parameters, int largestSide) {
  RunInputs inputs;
  inputs.n = parameters.Side(largestSide);
  const std::int32_t steps = parameters.Steps();
  const long double h0 = parameters.H0();
  const long double hmin = parameters.Hmin();
  if (h0 < hmin) throw EConvertError("Init. Mag. Field must not be below Min. Mag. Field");
  const long double range = Checked(std::fabs(h0) + std::fabs(hmin));
  inputs.fieldStep = StoreDouble(range / (steps * 0.5L));
  if (inputs.fieldStep == 0 && range != 0)
    throw EConvertError("The field range is too small for the number of steps");
  const double initialField = StoreDouble(h0);
  inputs.largestField = std::fmax(std::fmax(std::fabs(h0), std::fabs(hmin)), std::fabs(initialField)) +
                        inputs.fieldStep;
  return inputs;
}

namespace {

// Whether the sweep goes on at field H: Hmin - step <= H <= H0 + step, the
// bounds asked for again and formed in extended precision.
bool WithinSweep(const ModelParameters& parameters, double H, double fieldStep) {
  const long double h0 = parameters.H0();
  const long double hmin = parameters.Hmin();
  return hmin - fieldStep <= H && H <= h0 + fieldStep;
}

// The block's spins row by row, from the engine where it alone holds them.
template <class Relaxation>
std::vector<std::int8_t> SpinsOf(const Relaxation& relaxation, const LatticeState& lattice, int n) {
  std::vector<std::int8_t> spins(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      std::int8_t spin;
      if constexpr (requires { relaxation.SpinRow(i); })
        spin = relaxation.SpinRow(i)[j - 1];
      else
        spin = static_cast<std::int8_t>(lattice.SpinMap(i, j));
      spins[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j - 1)] = spin;
    }
  return spins;
}

// The sweep with either engine, from the initial pass to the spins set
// back to +1.
template <class Relaxation>
SweepSteps Sweep(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                 const RunInputs& inputs, const LoopScale& scale, Relaxation& relaxation, SweepObserver* observer) {
  const int n = inputs.n;
  LoopMeasurements measurements(port, parameters, lattice, n, inputs.fieldStep, relaxation.SpinSum());
  measurements.StartSweep();
  relaxation.InitLocalFields(lattice.AppliedField);
  SetRunProgressRange(port.Drawing());
  lattice.PlusSpinCount = 0;
  lattice.MinusSpinCount = 0;

  SweepSteps steps;
  auto step = [&](Branch branch) {
    double& H = lattice.AppliedField;
    relaxation.RelaxPass(H, branch, port.surface);
    measurements.MeasureStep(branch, H);
    PlotLoopPoint(port.Drawing(), scale, H, measurements.Magnetization());
    if (observer) observer->FieldStepDone(branch, H, measurements.Magnetization());
    const long double next = branch == Branch::Descending ? static_cast<long double>(H) - inputs.fieldStep
                                                          : static_cast<long double>(H) + inputs.fieldStep;
    H = StoreDouble(next);
    SetRunProgress(port, branch, H);
  };

  while (WithinSweep(parameters, lattice.AppliedField, inputs.fieldStep)) {
    step(Branch::Descending);
    ++steps.descending;
  }
  if (observer && observer->WantsTurningSpins()) observer->TurningPoint(SpinsOf(relaxation, lattice, n), n);
  if constexpr (requires { relaxation.CountSpins(1); })
    measurements.AddPlusSpins(relaxation.CountSpins(1));
  else
    measurements.CountPlusSpins();
  lattice.AppliedField = StoreDouble(parameters.Hmin());
  while (WithinSweep(parameters, lattice.AppliedField, inputs.fieldStep)) {
    step(Branch::Ascending);
    ++steps.ascending;
  }
  if constexpr (requires { relaxation.CountSpins(-1); })
    measurements.AddMinusSpins(relaxation.CountSpins(-1));
  else
    measurements.CountMinusSpins();
  measurements.WriteEndReadouts();
  // The compact engine keeps only the signs of the local fields.
  if constexpr (requires { relaxation.WriteFieldMaps(); }) relaxation.WriteFieldMaps();
  if constexpr (requires { relaxation.CountSpins(1); })
    relaxation.ResetSpins();
  else
    lattice.SpinMap.FillBlock(n, 1.0);
  return steps;
}

// The engine alone, with no site maps behind it but the shown block's
// spins, kept in the lattice state's spin map for drawing.
class EngineOnly {
 public:
  EngineOnly(ParallelRelaxation& engine, LatticeState& shown) : engine_(engine), shown_(shown) {}
  void InitLocalFields(double H) { engine_.InitLocalFields(H); }
  void RelaxPass(double H, Branch branch, DrawingSurface* surface) {
    engine_.RelaxPass(H, branch);
    if (!surface) return;
    const int shown = std::min(engine_.Side(), kShownSide);
    for (int i = 1; i <= shown; ++i)
      for (int j = 1; j <= shown; ++j) {
        shown_.SpinMap(i, j) = engine_.Spin(i, j);
        DrawSpinSquare(*surface, shown_, i, j);
      }
  }
  const std::int64_t& SpinSum() const { return engine_.SpinSum(); }
  std::int64_t CountSpins(int value) const {
    std::int64_t count = 0;
    for (int i = 1; i <= engine_.Side(); ++i) {
      const std::int8_t* row = engine_.SpinRow(i);
      for (int j = 0; j < engine_.Side(); ++j) count += row[j] == value;
    }
    return count;
  }
  void ResetSpins() { engine_.ResetSpins(1); }
  const std::int8_t* SpinRow(int i) const { return engine_.SpinRow(i); }

 private:
  ParallelRelaxation& engine_;
  LatticeState& shown_;
};

// The start of every Run: the inputs taken, the frame drawn, the extremes
// reset.
RunInputs StartRun(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice, int largestSide,
                   LoopScale& scale) {
  ClearSpinPanel(port.Drawing());
  lattice.InitialField = StoreDouble(parameters.H0());
  lattice.AppliedField = lattice.InitialField;
  const RunInputs inputs = ReadRunInputs(parameters, largestSide);
  lattice.MinMagnetization = 1.0;
  lattice.MaxMagnetization = 0.5;
  scale = DrawLoopFrame(port);
  return inputs;
}

}  // namespace

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         ParallelRelaxation& engine, int largestSide, SweepObserver* observer) {
  LoopScale scale{};
  const RunInputs inputs = StartRun(port, parameters, scalars, largestSide, scale);
  if (inputs.n != engine.Side()) throw EConvertError("The lattice was set up with another side");
  EngineOnly relaxation(engine, scalars);
  return Sweep(port, parameters, scalars, inputs, scale, relaxation, observer);
}

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                         SweepObserver* observer) {
  LoopScale scale{};
  const RunInputs inputs = StartRun(port, parameters, lattice, kMaxSide, scale);
  // Every lattice whose spins are set and whose local fields cannot
  // overflow takes the pass-at-a-time engine; the one-site engine takes the
  // rest, raising each overflow where it arises.
  if (const auto compact = LatticeRelaxation::For(lattice, inputs.n, inputs.largestField))
    return Sweep(port, parameters, lattice, inputs, scale, *compact, observer);
  SpinRelaxation relaxation(lattice, inputs.n);
  return Sweep(port, parameters, lattice, inputs, scale, relaxation, observer);
}

}  // namespace ebsim
