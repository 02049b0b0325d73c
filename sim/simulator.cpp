#include "sim/simulator.h"

#include "base/errors.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"

namespace ebsim {

namespace {

// Keeps the loop when asked to, and passes every step on.
class LoopRecorder final : public SweepObserver {
 public:
  LoopRecorder(std::vector<LoopPoint>* points, SweepObserver* next) : points_(points), next_(next) {}
  void FieldStepDone(Branch branch, double H, double M) override {
    if (points_) points_->push_back({branch, H, M});
    if (next_) next_->FieldStepDone(branch, H, M);
  }

 private:
  std::vector<LoopPoint>* points_;
  SweepObserver* next_;
};

std::vector<std::vector<double>> Block(const SiteMap& map, int n) {
  std::vector<std::vector<double>> rows(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) rows[static_cast<std::size_t>(i - 1)].assign(map.Row(i) + 1, map.Row(i) + n + 1);
  return rows;
}

}  // namespace

void CheckRunInputs(const FieldTexts& fields) { (void)ReadRunInputs(fields); }

Simulator::Simulator(std::unique_ptr<UtcClock> clock) : clock_(std::move(clock)) {}

void Simulator::SetUpExchange(const FormPort& port) { RunExchangeEnhancement(port, *lattice_, random_, *clock_); }

void Simulator::SetUpRandomFields(const FormPort& port) { RunRandomField(port, *lattice_, random_); }

SweepSteps Simulator::RunLoop(const FormPort& port, SweepObserver* observer) {
  return RunHysteresis(port, *lattice_, observer);
}

RunOutcome Simulator::RunAll(const FieldTexts& fields, std::uint32_t seedMs, const RunAllOptions& options) {
  RunOutcome outcome;
  outcome.seedMs = seedMs;
  const FormPort port{fields, outcome.readouts, options.surface};
  const FixedClock clock(seedMs);
  LoopRecorder recorder(options.keepLoop ? &outcome.loop : nullptr, options.observer);
  LatticeState& lattice = *lattice_;
  try {
    outcome.stage = "lee";
    RunExchangeEnhancement(port, lattice, random_, clock);
    outcome.stage = "qrf";
    RunRandomField(port, lattice, random_);
    outcome.side = lattice.LatticeSize;
    if (options.keepMaps) {
      const int n = lattice.LatticeSize;
      outcome.maps = SetupMaps{Block(lattice.ExchangeMap, n), Block(lattice.FmEnergyMap, n), Block(lattice.QrfMap, n)};
    }
    outcome.stage = "run";
    outcome.steps = RunHysteresis(port, lattice, &recorder);
  } catch (const Exception& error) {
    outcome.error = ErrorBoxText(error.Message());
  }
  return outcome;
}

}  // namespace ebsim
