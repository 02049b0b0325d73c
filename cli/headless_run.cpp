#include "cli/headless_run.h"

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

HeadlessOutcome RunHeadless(const HeadlessFields& fields, std::uint32_t seedMs, LatticeState& lattice,
                            const HeadlessOptions& options) {
  HeadlessOutcome outcome;
  outcome.seedMs = seedMs;
  const FormPort port{fields, outcome.readouts, options.surface};
  RandomNumbers random;
  const FixedClock clock(seedMs);
  LoopRecorder recorder(options.keepLoop ? &outcome.loop : nullptr, options.observer);
  try {
    outcome.stage = "lee";
    RunExchangeEnhancement(port, lattice, random, clock);
    outcome.stage = "qrf";
    RunRandomField(port, lattice, random);
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
