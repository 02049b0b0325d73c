#include "run/field_sweep.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "base/errors.h"
#include "base/float_checks.h"
#include "form/loop_plot.h"
#include "form/panel_geometry.h"
#include "form/run_display.h"
#include "run/lattice_relaxation.h"
#include "run/loop_measurements.h"
#include "run/shown_spins.h"

namespace ebsim {

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
  (void)StoreDouble(h0);  // the first step's field: one a double cannot hold overflows here
  inputs.loop = HysteresisLoop(h0, hmin, inputs.fieldStep);
  return inputs;
}

std::unique_ptr<FieldProtocol> ProtocolOf(const RunInputs& inputs, const ModelOptions& model,
                                          const DecimalSeparator& separator) {
  if (model.fields) {
    std::vector<double> values;
    values.reserve(model.fields->size());
    for (const std::string& text : *model.fields) values.push_back(ReadHistoryField(text, separator));
    if (values.empty()) throw EConvertError("The field history holds no value");
    return std::make_unique<FieldHistory>(std::move(values));
  }
  return std::make_unique<RepeatedLoop>(inputs.loop, model.cycles);
}

int TableCycles(const ModelOptions& model, const DecimalSeparator& separator) {
  if (!model.fields) return model.cyclesGiven ? model.cycles : 0;
  try {
    const RunInputs none;
    const std::unique_ptr<FieldProtocol> history = ProtocolOf(none, model, separator);
    return std::max(1, (history->LegCount() + 1) / 2);
  } catch (const Exception&) {
    return 1;
  }
}

namespace {

// Everything a Run draws on and reports to besides its engine.
struct RunPorts {
  const FormPort& port;
  const ModelParameters& parameters;
  LatticeState& lattice;
  const RunInputs& inputs;
  const LoopScale& scale;
  SweepObserver* observer;
  const FieldProtocol& protocol;
  // With options beyond the window's: each cycle's outcome kept here.
  std::vector<CycleOutcome>* cycles = nullptr;
  const FieldHistory* history = nullptr;
  // Adiabatic legs between the loop's ends: H0 (the protocol's start) and
  // Hmin, as the legs store them.
  bool adiabatic = false;
  double bottom = 0;
};

// A cycle's read-outs, kept apart and also passed to the port for the first.
class CycleReadouts final : public ReadoutFields {
 public:
  CycleReadouts(HeadlessReadouts& kept, ReadoutFields* forward) : kept_(kept), forward_(forward) {}
  void SetReadout(Quantity quantity, const ReadoutValue& shown) override {
    kept_.SetReadout(quantity, shown);
    if (forward_) forward_->SetReadout(quantity, shown);
  }

 private:
  HeadlessReadouts& kept_;
  ReadoutFields* forward_;
};

// What `relax` does to the spins, kept and drawn even when it raises.
template <Dynamics D, class F>
auto Followed(D& dynamics, ShownSpins& shown, F&& relax) {
  const auto result = [&] {
    try {
      return relax();
    } catch (...) {
      shown.Follow(dynamics);
      throw;
    }
  }();
  shown.Follow(dynamics);
  return result;
}

// The relaxation at one step.
template <Dynamics D>
void Relax(D& dynamics, ShownSpins& shown, double H, Branch branch) {
  Followed(dynamics, shown, [&] {
    dynamics.Relax(H, branch);
    return 0;
  });
}

// The end of a leg: at a turning point the observer may take the spins (of
// the first cycle's) and the +1 spins are counted; at the end of a cycle the
// -1 spins, and the end read-outs are written.
template <Dynamics D>
void EndLeg(const FieldLeg& leg, const D& dynamics, LoopMeasurements& measurements, SweepObserver* observer) {
  if (leg.LegBranch() == Branch::Descending) {
    if (observer && leg.Cycle() == 1 && observer->WantsTurningSpins())
      observer->TurningPoint(SpinsOf(dynamics), dynamics.Side());
    measurements.AddPlusSpins(CountSpins(dynamics, 1));
    return;
  }
  measurements.AddMinusSpins(CountSpins(dynamics, -1));
  measurements.WriteEndReadouts();
}

// The measurements of one cycle: those of the window's Run on the port, or,
// beyond the window's options, a cycle's own, each begun as a Run begins.
class CycleMeasurements {
 public:
  CycleMeasurements(const RunPorts& run, const std::int64_t& spinSum) : run_(run), spinSum_(spinSum) {}

  LoopMeasurements& Start(int cycle) {
    measurements_.reset();
    const FormPort* port = &run_.port;
    if (run_.cycles) {
      if (cycle > 1) {
        run_.lattice.MinMagnetization = 1.0;
        run_.lattice.MaxMagnetization = 0.5;
      }
      run_.cycles->emplace_back();
      sink_.emplace(run_.cycles->back().readouts, cycle == 1 ? &run_.port.readouts : nullptr);
      port_.emplace(FormPort{run_.port.fields, *sink_, run_.port.surface});
      port = &*port_;
    }
    measurements_.emplace(*port, run_.parameters, run_.lattice, run_.inputs.n, run_.inputs.fieldStep, spinSum_);
    if (run_.history) measurements_->UseListedFields(run_.history->StartField());
    if (run_.adiabatic) measurements_->UseListedFields(run_.protocol.StartField());
    measurements_->StartSweep();
    run_.lattice.PlusSpinCount = 0;
    run_.lattice.MinusSpinCount = 0;
    return *measurements_;
  }

  // A leg of the cycle begun last ended after `steps` steps; at the end of
  // the cycle the crossings its read-outs came from are kept with them (an
  // E-B shift shows only where both were found).
  void EndLeg(Branch branch, std::int64_t steps) {
    if (!run_.cycles || run_.cycles->empty()) return;
    CycleOutcome& cycle = run_.cycles->back();
    (branch == Branch::Descending ? cycle.steps.descending : cycle.steps.ascending) += steps;
    if (branch == Branch::Ascending && cycle.readouts.Of(Quantity::EbShift).value)
      cycle.crossings = run_.lattice.ReadoutCrossings;
  }

 private:
  const RunPorts& run_;
  const std::int64_t& spinSum_;
  std::optional<LoopMeasurements> measurements_;
  std::optional<FormPort> port_;
  std::optional<CycleReadouts> sink_;
};

// A step's relaxation measured, drawn and told; `step` counts them over the
// whole Run.
template <Dynamics D>
void RecordStep(const RunPorts& run, const D& dynamics, LoopMeasurements& measurements, Branch branch, double H,
                int cycle, std::int64_t& spinSum, std::int64_t& step) {
  spinSum = dynamics.SpinSum();
  measurements.MeasureStep(branch, H);
  PlotLoopPoint(run.port.Drawing(), run.scale, H, measurements.Magnetization());
  if (run.observer) {
    run.observer->StepDone({branch, H, measurements.Magnetization(), dynamics.Flips(), cycle});
    if (run.observer->WantsStepSpins(step)) run.observer->StepSpins(step, SpinsOf(dynamics), dynamics.Side());
  }
  ++step;
}

// The steps of one leg.
template <Dynamics D>
void SweepLeg(const RunPorts& run, D& dynamics, ShownSpins& shown, FieldLeg& leg, LoopMeasurements& measurements,
              std::int64_t& spinSum, std::int64_t& step) {
  LatticeState& lattice = run.lattice;
  lattice.AppliedField = leg.Field();
  while (leg.AtStep()) {
    const Branch branch = leg.StepBranch();
    const double H = leg.Field();
    Relax(dynamics, shown, H, branch);
    RecordStep(run, dynamics, measurements, branch, H, leg.Cycle(), spinSum, step);
    lattice.AppliedField = leg.MoveOn();
    SetRunProgress(run.port, branch, lattice.AppliedField);
  }
}

// An adiabatic leg: the field moved from the leg's first value to each
// avalanche's field in turn, no further than the loop's other end, one
// step per avalanche; at the end of a cycle the field stands at H0.
void AvalancheLeg(const RunPorts& run, StableRelaxation& dynamics, ShownSpins& shown, const FieldLeg& leg,
                  LoopMeasurements& measurements, std::int64_t& spinSum, std::int64_t& step) {
  const Branch branch = leg.LegBranch();
  const double end = branch == Branch::Descending ? run.bottom : run.protocol.StartField();
  double H = leg.Field();
  run.lattice.AppliedField = H;
  while (const std::optional<double> next = dynamics.NextAvalancheField(branch, H, end)) {
    H = *next;
    run.lattice.AppliedField = H;
    const std::int64_t size = Followed(dynamics, shown, [&] { return dynamics.Avalanche(H, branch); });
    if (size == 0) break;  // none is due at H: never, by the flip fields' order
    RecordStep(run, dynamics, measurements, branch, H, leg.Cycle(), spinSum, step);
    SetRunProgress(run.port, branch, H);
  }
  run.lattice.AppliedField = end;
  if (branch == Branch::Ascending) measurements.ReachField(end);
}

// Leg k's fields as an engine that plans ahead is told them; none where
// computing them raises, which the leg itself then raises where it arises.
std::vector<double> PlannedFields(const FieldProtocol& protocol, int k) {
  try {
    return LegFields(protocol, k);
  } catch (const Exception&) {
    return {};
  }
}

// The sweep by the protocol, from the initial local fields to the end
// read-outs; the caller sets the spins back.
template <Dynamics D>
SweepSteps Sweep(const RunPorts& run, D& dynamics, ShownSpins& shown) {
  const FieldProtocol& protocol = run.protocol;
  std::int64_t spinSum = dynamics.SpinSum();
  CycleMeasurements cycles(run, spinSum);
  LoopMeasurements* measurements = &cycles.Start(1);
  dynamics.InitLocalFields(protocol.StartField());
  shown.Take(dynamics);
  SetRunProgressRange(run.port.Drawing());

  SweepSteps steps;
  std::int64_t step = 0;
  // The Run's read-outs are cycle 1's, and so are the crossings they were
  // reckoned from; a later cycle begins by clearing the lattice's.
  std::optional<LoopCrossings> firstCrossings;
  for (int k = 0; k < protocol.LegCount(); ++k) {
    const std::unique_ptr<FieldLeg> leg = protocol.Leg(k);
    if (k > 0 && k % 2 == 0) {
      if (k == 2) firstCrossings = run.lattice.ReadoutCrossings;
      measurements = &cycles.Start(leg->Cycle());
    }
    if constexpr (requires { dynamics.ExpectFields(std::vector<double>{}); })
      dynamics.ExpectFields(PlannedFields(protocol, k));
    const std::int64_t before = step;
    if constexpr (std::is_same_v<D, StableRelaxation>) {
      if (run.adiabatic)
        AvalancheLeg(run, dynamics, shown, *leg, *measurements, spinSum, step);
      else
        SweepLeg(run, dynamics, shown, *leg, *measurements, spinSum, step);
    } else {
      SweepLeg(run, dynamics, shown, *leg, *measurements, spinSum, step);
    }
    (leg->LegBranch() == Branch::Descending ? steps.descending : steps.ascending) += step - before;
    EndLeg(*leg, dynamics, *measurements, run.observer);
    cycles.EndLeg(leg->LegBranch(), step - before);
  }
  if (protocol.LegCount() > 2) run.lattice.ReadoutCrossings = firstCrossings;
  return steps;
}

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

// The Run on a lattice held by engine D alone.
template <Dynamics D>
SweepSteps RunOnEngine(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars, D& engine,
                       int largestSide, SweepObserver* observer, const ProtocolRun* protocol) {
  LoopScale scale{};
  const RunInputs inputs = StartRun(port, parameters, scalars, largestSide, scale);
  if (inputs.n != engine.Side()) throw EConvertError("The lattice was set up with another side");
  ShownSpins shown(scalars, port.surface ? std::min(inputs.n, kShownSide) : 0, port.surface);
  const ModelOptions defaults;
  const ModelOptions& model = protocol ? protocol->model : defaults;
  const std::unique_ptr<FieldProtocol> schedule = ProtocolOf(inputs, model, port.fields.Separator());
  RunPorts run{port, parameters, scalars, inputs, scale, observer, *schedule};
  std::vector<CycleOutcome> cycles;
  if (model.Extended()) run.cycles = protocol->cycles ? protocol->cycles : &cycles;
  run.history = dynamic_cast<const FieldHistory*>(schedule.get());
  if (model.adiabatic) {
    if constexpr (std::is_same_v<D, StableRelaxation>) {
      if (!engine.Events() || run.history)
        throw EConvertError("Adiabatic steps need stable dynamics with exchange constants of 0 or more on the loop");
    } else {
      throw EConvertError("Adiabatic steps need stable dynamics");
    }
    run.adiabatic = true;
    run.bottom = inputs.loop.Leg(1)->Field();
  }
  const SweepSteps steps = Sweep(run, engine, shown);
  engine.ResetSpins(1);
  return steps;
}

}  // namespace

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         ParallelRelaxation& engine, int largestSide, SweepObserver* observer,
                         const ProtocolRun* protocol) {
  return RunOnEngine(port, parameters, scalars, engine, largestSide, observer, protocol);
}

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         StableRelaxation& engine, int largestSide, SweepObserver* observer,
                         const ProtocolRun* protocol) {
  return RunOnEngine(port, parameters, scalars, engine, largestSide, observer, protocol);
}

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         EventRelaxation& engine, int largestSide, SweepObserver* observer,
                         const ProtocolRun* protocol) {
  return RunOnEngine(port, parameters, scalars, engine, largestSide, observer, protocol);
}

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                         SweepObserver* observer) {
  LoopScale scale{};
  const RunInputs inputs = StartRun(port, parameters, lattice, kMaxSide, scale);
  ParallelRelaxation engine = RelaxationOnMaps(lattice, inputs.n);
  ShownSpins shown(lattice, inputs.n, port.surface);
  const SweepSteps steps = Sweep(RunPorts{port, parameters, lattice, inputs, scale, observer, inputs.loop}, engine, shown);
  WriteFieldMaps(engine, lattice);
  lattice.SpinMap.FillBlock(inputs.n, 1.0);
  return steps;
}

}  // namespace ebsim
