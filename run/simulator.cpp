#include "run/simulator.h"

#include <algorithm>
#include <new>

#include "base/available_memory.h"
#include "base/errors.h"
#include "setup/exchange_enhancement_run.h"
#include "form/field_numbers.h"
#include "form/field_parameters.h"
#include "setup/random_field_run.h"
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

namespace {

// The event engine for the pass dynamics when asked for, or by auto when
// the Run holds enough field values: at side 2,000 one thread of events
// overtakes one pass thread at about 1,500 values (300 values: 6.6 s
// against 0.93 s; 3,000: 5.5 s against 9.9 s; 30,000: 4.9 s against
// 129 s), and the pass engine's threads share its work.
constexpr std::int64_t kEventFieldValuesPerThread = 1500;
// The event engine holds a leg's field values (8 bytes each) and pays for
// its plan up front: auto takes it only for lattices where passes cost,
// and for histories it holds in a few hundred megabytes.
constexpr int kEventSmallestSide = 256;
constexpr std::int64_t kEventMostFieldValues = std::int64_t{1} << 25;

// The field values the Run will hold, roughly; none where its texts do not
// read (the Run raises where it reads them). Neither raises here nor walks
// a long schedule.
std::optional<std::int64_t> FieldValueCount(const ModelOptions& model, const ModelParameters& parameters) {
  if (model.fields) return static_cast<std::int64_t>(model.fields->size());
  try {
    return (static_cast<std::int64_t>(parameters.Steps()) + 2) * model.cycles;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

bool UseEvents(const ModelOptions& model, const ModelParameters& parameters, int n, int threads) {
  if (model.dynamics != DynamicsRule::Pass || model.engine == EngineChoice::Pass) return false;
  if (model.engine == EngineChoice::Events) return true;
  if (n < kEventSmallestSide) return false;
  const std::optional<std::int64_t> values = FieldValueCount(model, parameters);
  return values && *values >= kEventFieldValuesPerThread * std::max(threads, 1) && *values <= kEventMostFieldValues;
}

// Flip fields for the stable dynamics when asked for (and for adiabatic
// Runs), or by auto from 1,500 field values on: at side 1,000 on one thread
// (bench/adiabatic_bench.cpp) the scan of every site takes 0.55 s for 302
// values and 3.7 s for 3,002, the flip fields 1.9 s for either, and the
// two cost in proportion to the sites alike.
constexpr std::int64_t kStableEventFieldValues = 1500;

bool UseStableEvents(const ModelOptions& model, const ModelParameters& parameters) {
  if (model.engine != EngineChoice::Auto) return model.engine == EngineChoice::Events;
  const std::optional<std::int64_t> values = FieldValueCount(model, parameters);
  return values && *values >= kStableEventFieldValues;
}

}  // namespace

SweepSteps Simulator::RunCompact(const FormPort& port, std::uint32_t seedMs, int threads, CompactProgress& progress,
                                 SweepObserver* observer, const ProtocolRun* protocol) {
  progress = {};
  const ModelOptions defaults;
  const ModelOptions& model = protocol ? protocol->model : defaults;
  const FieldParameters parameters(port.fields);
  const int n = parameters.Side(kLargestSide);
  CheckLargeLatticeFits(n);
  CompactLattice lattice = SetUpLargeLattice(port, parameters, n, random_, FixedClock(seedMs), progress.stage, threads,
                                             observer, model.boundary);
  progress.side = n;
  progress.stage = "run";
  const std::size_t sites = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  std::vector<std::int8_t> spins(sites, 1);
  if (model.dynamics == DynamicsRule::Stable) {
    StableOptions stableOptions;
    stableOptions.boundary = model.boundary;
    stableOptions.events = model.adiabatic || UseStableEvents(model, parameters);
    StableRelaxation engine(std::move(lattice), std::move(spins), stableOptions);
    return RunHysteresis(port, parameters, *lattice_, engine, kLargestSide, observer, protocol);
  }
  if (UseEvents(model, parameters, n, threads)) {
    EventRelaxation engine(std::move(lattice), std::move(spins), model.boundary);
    return RunHysteresis(port, parameters, *lattice_, engine, kLargestSide, observer, protocol);
  }
  RelaxationOptions engineOptions;
  engineOptions.threads = threads;
  engineOptions.boundary = model.boundary;
  ParallelRelaxation engine(std::move(lattice), std::move(spins), engineOptions);
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
