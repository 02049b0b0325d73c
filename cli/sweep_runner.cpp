#include "cli/sweep_runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/headless_run.h"

namespace {

// Ends a realisation when the sweep is stopped.
class StopCheck final : public SweepObserver {
 public:
  struct Stopped {};
  explicit StopCheck(const std::atomic<bool>* stop) : stop_(stop) {}
  void FieldStepDone(Branch, double, double) override {
    if (stop_ && stop_->load(std::memory_order_relaxed)) throw Stopped{};
  }

 private:
  const std::atomic<bool>* stop_;
};

SweepRow RowOf(const HeadlessOutcome& outcome) {
  SweepRow row;
  for (std::size_t k = 0; k < kReadoutCount; ++k) {
    const HeadlessReadouts::State& state = outcome.readouts.Of(static_cast<Readout>(k));
    if (state.text.find_first_not_of(' ') != std::string::npos) row.readouts[k] = state.value;
  }
  row.descendingSteps = outcome.steps.descending;
  row.ascendingSteps = outcome.steps.ascending;
  if (outcome.error) row.error = *outcome.error;
  return row;
}

SweepRow Realize(const SweepPlan& plan, std::size_t index, LatticeState& lattice, const std::atomic<bool>* stop) {
  const std::size_t point = index / plan.realizations;
  const std::uint64_t r = index % plan.realizations;
  const std::uint32_t seed = RealizationSeed(plan.seedMs, r);
  StopCheck check(stop);
  HeadlessOptions options;
  options.observer = &check;
  SweepRow row = RowOf(RunHeadless(plan.grid->PointFields(point), seed, lattice, options));
  row.index = index;
  row.point = point;
  row.realization = r;
  row.seedMs = seed;
  return row;
}

}  // namespace

SweepRow RunRealization(const SweepPlan& plan, std::size_t index, const std::atomic<bool>* stop) {
  auto lattice = std::make_unique<LatticeState>();
  return Realize(plan, index, *lattice, stop);
}

bool RunSweep(const SweepPlan& plan, const std::function<void(const SweepRow&)>& onRow,
              const std::function<void(std::size_t)>& onProgress, const std::atomic<bool>& stop) {
  const std::size_t total = plan.grid->PointCount() * plan.realizations;
  std::vector<std::optional<SweepRow>> rows(total);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t finished = 0;
  // More threads than rows would only hold lattices that do nothing.
  const unsigned threads = static_cast<unsigned>(std::clamp<std::size_t>(plan.threads, 1, total));
  unsigned running = threads;

  auto work = [&] {
    auto lattice = std::make_unique<LatticeState>();
    for (;;) {
      if (stop.load()) break;
      const std::size_t index = next.fetch_add(1);
      if (index >= total) break;
      try {
        SweepRow row = Realize(plan, index, *lattice, &stop);
        std::lock_guard lock(mutex);
        rows[index] = std::move(row);
        ++finished;
      } catch (const StopCheck::Stopped&) {
        break;
      }
      changed.notify_one();
    }
    std::lock_guard lock(mutex);
    --running;
    changed.notify_one();
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);

  // Hand rows over as the finished ones form an unbroken run from the start.
  std::size_t handed = 0;
  std::unique_lock lock(mutex);
  for (;;) {
    // Checked before sleeping: a row or the last worker's end may have come
    // while the rows before were being handed over.
    changed.wait_for(lock, std::chrono::milliseconds(200),
                     [&] { return running == 0 || (handed < total && rows[handed].has_value()); });
    std::vector<SweepRow> ready;
    while (handed < total && rows[handed]) ready.push_back(std::move(*rows[handed++]));
    const std::size_t done = finished;
    const bool over = running == 0;
    lock.unlock();
    for (const SweepRow& row : ready) onRow(row);
    onProgress(done);
    lock.lock();
    if (over) break;
  }
  lock.unlock();
  for (std::thread& thread : pool) thread.join();
  // After a stop: what finished beyond the first gap.
  for (std::size_t k = handed; k < total; ++k)
    if (rows[k]) onRow(*rows[k]);
  return finished == total;
}
