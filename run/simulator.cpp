#include "run/simulator.h"

#include <algorithm>
#include <new>

#include "base/available_memory.h"
#include "base/errors.h"
#include "setup/exchange_enhancement_run.h"
#include "form/field_numbers.h"
#include "form/field_parameters.h"
#include "setup/random_field_run.h"
#include "run/engine_choice.h"
#include "run/large_lattice.h"

namespace ebsim {

namespace {

// Keeps the loop when asked to, and an adiabatic Run's avalanches, and
// passes every step on.
class LoopRecorder final : public SweepObserver {
 public:
  LoopRecorder(std::vector<LoopPoint>* points, SweepObserver* next) : points_(points), next_(next) {}
  // Each step an avalanche: its size counted, and the avalanche kept too
  // when `kept` is given.
  void KeepAvalanches(AvalancheSizes* sizes, std::vector<Avalanche>* kept) {
    sizes_ = sizes;
    avalanches_ = kept;
  }
  void FieldStepDone(Branch branch, double H, double M) override { StepDone({branch, H, M}); }
  void StepDone(const LoopPoint& p) override {
    if (points_) points_->push_back(p);
    if (sizes_) sizes_->Add(p.branch, p.flips);
    if (avalanches_) avalanches_->push_back({p.cycle, p.branch, p.H, p.flips});
    if (next_) next_->StepDone(p);
  }
  void SetUpRowDone() override {
    if (next_) next_->SetUpRowDone();
  }
  bool WantsTurningSpins() const override { return next_ && next_->WantsTurningSpins(); }
  void TurningPoint(std::vector<std::int8_t> spins, int n) override { next_->TurningPoint(std::move(spins), n); }
  bool WantsStepSpins(std::int64_t step) const override { return next_ && next_->WantsStepSpins(step); }
  void StepSpins(std::int64_t step, std::vector<std::int8_t> spins, int n) override {
    next_->StepSpins(step, std::move(spins), n);
  }

 private:
  std::vector<LoopPoint>* points_;
  SweepObserver* next_;
  AvalancheSizes* sizes_ = nullptr;
  std::vector<Avalanche>* avalanches_ = nullptr;
};

std::vector<std::vector<double>> Block(const SiteMap& map, int n) {
  std::vector<std::vector<double>> rows(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) rows[static_cast<std::size_t>(i - 1)].assign(map.Row(i) + 1, map.Row(i) + n + 1);
  return rows;
}

}  // namespace

void CheckRunInputs(const FieldTexts& fields, bool largeSides) {
  (void)ReadRunInputs(FieldParameters(fields), largeSides ? kLargestSide : kMaxSide);
}

std::optional<int> LargeSide(const FieldTexts& fields) {
  try {
    const std::int32_t side = ReadIntegerField(fields, Input::Side);
    if (side > kMaxSide || side < 1) return side;
  } catch (const Exception&) {
  }
  return std::nullopt;
}

Simulator::Simulator(std::unique_ptr<UtcClock> clock) : clock_(std::move(clock)) {}

void Simulator::SetUpExchange(const FormPort& port) {
  setUp_.reset();
  SetUpRecord record{clock_->MillisecondsSinceMidnight(), CopyTexts(port.fields), std::nullopt, std::nullopt, 0};
  RunExchangeEnhancement(port, FieldParameters(port.fields), *lattice_, random_, FixedClock(record.seedMs));
  setUp_ = std::move(record);
}

void Simulator::SetUpRandomFields(const FormPort& port) {
  if (setUp_) {
    ++setUp_->randomFieldRuns;
    setUp_->randomFieldTexts = CopyTexts(port.fields);
    setUp_->runTexts.reset();
  }
  RunRandomField(port, FieldParameters(port.fields), *lattice_, random_);
}

SweepSteps Simulator::RunCompact(const FormPort& port, std::uint32_t seedMs, int threads, CompactProgress& progress,
                                 SweepObserver* observer, const ProtocolRun* protocol) {
  progress = {};
  const ModelOptions defaults;
  const ModelOptions& model = protocol ? protocol->model : defaults;
  const FieldParameters parameters(port.fields);
  const int n = parameters.Side(kLargestSide);
  const ChosenLattice chosen = ChosenEngine(model, parameters, n, threads);
  CheckLargeLatticeFits(n, 1, chosen);
  CompactLattice lattice = SetUpLargeLattice(port, parameters, n, random_, FixedClock(seedMs), progress.stage, threads,
                                             observer, model.boundary);
  progress.side = n;
  progress.stage = "run";
  const std::size_t sites = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  if (model.dynamics == DynamicsRule::Stable) {
    std::vector<std::int8_t> spins(sites, 1);
    StableOptions stableOptions;
    stableOptions.boundary = model.boundary;
    stableOptions.events = chosen.engine == LatticeEngine::StableEvents;
    stableOptions.threads = threads;
    if (observer) stableOptions.working = [observer] { observer->EngineWorking(); };
    StableRelaxation engine(std::move(lattice), std::move(spins), stableOptions);
    return RunHysteresis(port, parameters, *lattice_, engine, kLargestSide, observer, protocol);
  }
  if (chosen.engine == LatticeEngine::PassEvents) {
    EventRelaxation engine(std::move(lattice), std::vector<std::int8_t>(sites, 1), model.boundary);
    return RunHysteresis(port, parameters, *lattice_, engine, kLargestSide, observer, protocol);
  }
  RelaxationOptions engineOptions;
  engineOptions.threads = threads;
  engineOptions.boundary = model.boundary;
  ParallelRelaxation engine(std::move(lattice), std::int8_t{1}, engineOptions);
  return RunHysteresis(port, parameters, *lattice_, engine, kLargestSide, observer, protocol);
}

SweepSteps Simulator::RunLoop(const FormPort& port, SweepObserver* observer) {
  if (setUp_) setUp_->runTexts = CopyTexts(port.fields);
  return RunHysteresis(port, FieldParameters(port.fields), *lattice_, observer);
}

namespace {

// The crossings of this Run's E-B shift: the lattice's are another Run's
// when this one blanked it or never reached it.
void KeepCrossings(RunOutcome& outcome, const LatticeState& lattice) {
  if (outcome.readouts.Of(Quantity::EbShift).value) outcome.crossings = lattice.ReadoutCrossings;
}

// RunAll beyond the window's 300: the lattice held by the engine alone.
RunOutcome RunLarge(Simulator& simulator, const FieldTexts& fields, std::uint32_t seedMs,
                    const RunAllOptions& options) {
  RunOutcome outcome;
  outcome.seedMs = seedMs;
  const FormPort port{fields, outcome.readouts, options.surface};
  LoopRecorder recorder(options.keepLoop ? &outcome.loop : nullptr, options.observer);
  if (options.model.adiabatic)
    recorder.KeepAvalanches(&outcome.avalancheSizes, options.keepAvalanches ? &outcome.avalanches : nullptr);
  CompactProgress progress;
  const ProtocolRun protocol{options.model, &outcome.cycles};
  try {
    outcome.steps = simulator.RunCompact(port, seedMs, options.threads, progress, &recorder, &protocol);
  } catch (const Exception& error) {
    outcome.error = ErrorBoxText(error.Message());
  } catch (const std::bad_alloc&) {
    outcome.error = ErrorBoxText(kOutOfMemory);
  }
  outcome.side = progress.side;
  outcome.stage = progress.stage;
  KeepCrossings(outcome, simulator.Lattice());
  return outcome;
}

}  // namespace

RunOutcome Simulator::RunAll(const FieldTexts& fields, std::uint32_t seedMs, const RunAllOptions& options) {
  // Another dynamics, boundary or protocol runs on the compact lattice.
  if (options.compactLattice || options.model.Extended() || (options.largeSides && LargeSide(fields)))
    return RunLarge(*this, fields, seedMs, options);
  RunOutcome outcome;
  outcome.seedMs = seedMs;
  const FormPort port{fields, outcome.readouts, options.surface};
  const FieldParameters parameters(fields);
  const FixedClock clock(seedMs);
  LoopRecorder recorder(options.keepLoop ? &outcome.loop : nullptr, options.observer);
  LatticeState& lattice = *lattice_;
  try {
    outcome.stage = "lee";
    RunExchangeEnhancement(port, parameters, lattice, random_, clock);
    outcome.stage = "qrf";
    RunRandomField(port, parameters, lattice, random_);
    outcome.side = lattice.LatticeSize;
    if (options.keepMaps) {
      const int n = lattice.LatticeSize;
      outcome.maps = SetupMaps{Block(lattice.ExchangeMap, n), Block(lattice.FmEnergyMap, n), Block(lattice.QrfMap, n)};
    }
    outcome.stage = "run";
    outcome.steps = RunHysteresis(port, parameters, lattice, &recorder);
  } catch (const Exception& error) {
    outcome.error = ErrorBoxText(error.Message());
  } catch (const std::bad_alloc&) {
    outcome.error = ErrorBoxText(kOutOfMemory);
  }
  KeepCrossings(outcome, lattice);
  return outcome;
}

}  // namespace ebsim
