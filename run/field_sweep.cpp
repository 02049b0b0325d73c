#include "run/field_sweep.h"

#include <algorithm>
#include <cmath>
#include <memory>

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

namespace {

// Everything a Run draws on and reports to besides its engine.
struct RunPorts {
  const FormPort& port;
  const ModelParameters& parameters;
  LatticeState& lattice;
  const RunInputs& inputs;
  const LoopScale& scale;
  SweepObserver* observer;
};

// The relaxation at one step, the spins it changed kept and drawn even when
// it raises.
template <Dynamics D>
void Relax(D& dynamics, ShownSpins& shown, double H, Branch branch) {
  try {
    dynamics.Relax(H, branch);
  } catch (...) {
    shown.Follow(dynamics);
    throw;
  }
  shown.Follow(dynamics);
}

// The end of a leg: at a turning point the observer may take the spins and
// the +1 spins are counted; at the end of a cycle the -1 spins, and the end
// read-outs are written.
template <Dynamics D>
void EndLeg(const FieldLeg& leg, const D& dynamics, LoopMeasurements& measurements, SweepObserver* observer) {
  if (leg.LegBranch() == Branch::Descending) {
    if (observer && observer->WantsTurningSpins()) observer->TurningPoint(SpinsOf(dynamics), dynamics.Side());
    measurements.AddPlusSpins(CountSpins(dynamics, 1));
    return;
  }
  measurements.AddMinusSpins(CountSpins(dynamics, -1));
  measurements.WriteEndReadouts();
}

// The sweep by the inputs' loop, from the initial local fields to the end
// read-outs; the caller sets the spins back.
template <Dynamics D>
SweepSteps Sweep(const RunPorts& run, D& dynamics, ShownSpins& shown) {
  const FieldProtocol& protocol = run.inputs.loop;
  LatticeState& lattice = run.lattice;
  std::int64_t spinSum = dynamics.SpinSum();
  LoopMeasurements measurements(run.port, run.parameters, lattice, run.inputs.n, run.inputs.fieldStep, spinSum);
  measurements.StartSweep();
  dynamics.InitLocalFields(protocol.StartField());
  shown.Take(dynamics);
  SetRunProgressRange(run.port.Drawing());
  lattice.PlusSpinCount = 0;
  lattice.MinusSpinCount = 0;

  SweepSteps steps;
  for (int k = 0; k < protocol.LegCount(); ++k) {
    const std::unique_ptr<FieldLeg> leg = protocol.Leg(k);
    lattice.AppliedField = leg->Field();
    while (leg->AtStep()) {
      const Branch branch = leg->StepBranch();
      const double H = leg->Field();
      Relax(dynamics, shown, H, branch);
      spinSum = dynamics.SpinSum();
      measurements.MeasureStep(branch, H);
      PlotLoopPoint(run.port.Drawing(), run.scale, H, measurements.Magnetization());
      if (run.observer) run.observer->FieldStepDone(branch, H, measurements.Magnetization());
      lattice.AppliedField = leg->MoveOn();
      SetRunProgress(run.port, branch, lattice.AppliedField);
      ++(branch == Branch::Descending ? steps.descending : steps.ascending);
    }
    EndLeg(*leg, dynamics, measurements, run.observer);
  }
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

template <Dynamics D>
SweepSteps RunOnEngine(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars, D& engine,
                       int largestSide, SweepObserver* observer) {
  LoopScale scale{};
  const RunInputs inputs = StartRun(port, parameters, scalars, largestSide, scale);
  if (inputs.n != engine.Side()) throw EConvertError("The lattice was set up with another side");
  ShownSpins shown(scalars, port.surface ? std::min(inputs.n, kShownSide) : 0, port.surface);
  const SweepSteps steps = Sweep(RunPorts{port, parameters, scalars, inputs, scale, observer}, engine, shown);
  engine.ResetSpins(1);
  return steps;
}

}  // namespace

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         ParallelRelaxation& engine, int largestSide, SweepObserver* observer) {
  return RunOnEngine(port, parameters, scalars, engine, largestSide, observer);
}

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         StableRelaxation& engine, int largestSide, SweepObserver* observer) {
  return RunOnEngine(port, parameters, scalars, engine, largestSide, observer);
}

SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                         SweepObserver* observer) {
  LoopScale scale{};
  const RunInputs inputs = StartRun(port, parameters, lattice, kMaxSide, scale);
  ParallelRelaxation engine = RelaxationOnMaps(lattice, inputs.n);
  ShownSpins shown(lattice, inputs.n, port.surface);
  const SweepSteps steps = Sweep(RunPorts{port, parameters, lattice, inputs, scale, observer}, engine, shown);
  WriteFieldMaps(engine, lattice);
  lattice.SpinMap.FillBlock(inputs.n, 1.0);
  return steps;
}

}  // namespace ebsim
