#include "batch/sweep_runner.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <chrono>
#include <condition_variable>
#include <system_error>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "base/available_memory.h"
#include "base/errors.h"
#include "batch/ordered_rows.h"
#include "form/field_numbers.h"
#include "run/loop_measurements.h"
#include "run/simulator.h"

namespace ebsim {

namespace {

// Ends a realisation when the sweep is stopped; keeps its loop and its
// spins at Hmin if asked.
class StopCheck final : public SweepObserver {
 public:
  struct Stopped {};
  StopCheck(const std::atomic<bool>* stop, const std::atomic<bool>* abandoned, SweepRow* keep, bool keepLoop,
            bool keepSpins, const std::vector<std::int64_t>& spinsAt)
      : stop_(stop), abandoned_(abandoned), keep_(keep), keepLoop_(keepLoop), keepSpins_(keepSpins), spinsAt_(spinsAt) {}
  void FieldStepDone(Branch branch, double H, double M) override { StepDone({branch, H, M}); }
  void StepDone(const LoopPoint& p) override {
    if (keepLoop_) keep_->loop.push_back(p);
    CheckStop();
  }
  void SetUpRowDone() override { CheckStop(); }
  bool WantsTurningSpins() const override { return keepSpins_ && spinsAt_.empty(); }
  bool WantsStepSpins(std::int64_t step) const override {
    return keepSpins_ && std::binary_search(spinsAt_.begin(), spinsAt_.end(), step);
  }
  void StepSpins(std::int64_t step, std::vector<std::int8_t> spins, int n) override {
    keep_->stepSpins.emplace_back(step, std::move(spins));
    keep_->side = n;
  }
  void TurningPoint(std::vector<std::int8_t> spins, int n) override {
    keep_->spins = std::move(spins);
    keep_->side = n;
  }

 private:
  void CheckStop() const {
    if (stop_ && stop_->load(std::memory_order_relaxed)) throw Stopped{};
    if (abandoned_ && abandoned_->load(std::memory_order_relaxed)) throw Stopped{};
  }

  const std::atomic<bool>* stop_;
  const std::atomic<bool>* abandoned_;
  SweepRow* keep_;
  bool keepLoop_, keepSpins_;
  const std::vector<std::int64_t>& spinsAt_;
};

}  // namespace

namespace {

// Cycle c's numbers: the set-up's read-outs with the cycle's loop read-outs,
// blank where the Run never reached the cycle.
CycleNumbers CycleNumbersOf(const RunOutcome& outcome, std::size_t c) {
  HeadlessReadouts readouts = outcome.readouts;
  CycleNumbers numbers;
  const CycleOutcome* cycle = c < outcome.cycles.size() ? &outcome.cycles[c] : nullptr;
  for (const Quantity quantity : kLoopQuantities)
    readouts.SetReadout(quantity, cycle ? cycle->readouts.Of(quantity) : ReadoutValue{});
  numbers.readouts = WrittenNumbers(readouts, cycle ? cycle->crossings : std::nullopt);
  if (cycle) {
    numbers.descendingSteps = cycle->steps.descending;
    numbers.ascendingSteps = cycle->steps.ascending;
  }
  return numbers;
}

}  // namespace

SweepRow RowOfOutcome(const RunOutcome& outcome, int cycles) {
  SweepRow row;
  row.readouts = WrittenNumbers(outcome.readouts, outcome.crossings);
  row.descendingSteps = outcome.steps.descending;
  row.ascendingSteps = outcome.steps.ascending;
  if (outcome.error) row.error = *outcome.error;
  row.avalanches = outcome.avalancheSizes;
  for (int c = 0; c < cycles; ++c) row.cycles.push_back(CycleNumbersOf(outcome, static_cast<std::size_t>(c)));
  return row;
}

namespace {

SweepRow Realize(const SweepPlan& plan, std::uint64_t index, Simulator& simulator, const std::atomic<bool>* stop,
                 const std::atomic<bool>* abandoned = nullptr) {
  const std::size_t point = index / plan.realizations;
  const std::uint64_t r = index % plan.realizations;
  const std::uint32_t seed = RealizationSeed(plan.seedMs, r);
  const HeadlessFields fields = plan.grid->PointFields(point);
  SweepRow kept;
  // Held whole from the start: a loop that grew by doubling would hold up
  // to three times its size while it moves.
  if (plan.keepLoops) kept.loop.reserve(ProtocolStepBound(fields, plan.model));
  StopCheck check(stop, abandoned, &kept, plan.keepLoops, plan.keepSpins, plan.model.spinsAt);
  RunAllOptions options;
  options.model = plan.model;
  options.observer = &check;
  options.largeSides = plan.largeSides;
  options.compactLattice = true;  // rows need no maps
  options.threads = static_cast<int>(plan.innerThreads);
  SweepRow row = RowOfOutcome(simulator.RunAll(fields, seed, options), plan.grid->Cycles());
  row.loop = std::move(kept.loop);
  row.spins = std::move(kept.spins);
  row.stepSpins = std::move(kept.stepSpins);
  row.side = kept.side;
  row.index = index;
  row.point = point;
  row.realization = r;
  row.seedMs = seed;
  return row;
}

// A realisation that memory could not hold beyond its Run: a failed row.
SweepRow OutOfMemory(const SweepPlan& plan, std::uint64_t index) {
  SweepRow row;
  row.index = index;
  row.point = index / plan.realizations;
  row.realization = index % plan.realizations;
  row.seedMs = RealizationSeed(plan.seedMs, row.realization);
  row.error = ErrorBoxText(kOutOfMemory);
  row.cycles.resize(static_cast<std::size_t>(plan.grid->Cycles()));
  return row;
}

}  // namespace

SweepShard ParseShard(const std::string& text) {
  SweepShard shard;
  const char* const end = text.data() + text.size();
  const auto first = std::from_chars(text.data(), end, shard.index);
  const bool slash = first.ec == std::errc() && first.ptr != end && *first.ptr == '/';
  const auto second = slash ? std::from_chars(first.ptr + 1, end, shard.count) : first;
  if (!slash || second.ec != std::errc() || second.ptr != end || shard.count == 0 || shard.index >= shard.count)
    throw std::invalid_argument("--shard takes K/N with 0 <= K < N: '" + text + "'");
  return shard;
}

std::string ShardText(const SweepShard& shard) {
  return std::to_string(shard.index) + "/" + std::to_string(shard.count);
}

unsigned AvailableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

SweepRow RunRealization(const SweepPlan& plan, std::uint64_t index, const std::atomic<bool>* stop) {
  Simulator simulator;
  return Realize(plan, index, simulator, stop);
}

SweepRow RunRealization(const SweepPlan& plan, std::uint64_t index, Simulator& simulator,
                        const std::atomic<bool>* stop) {
  return Realize(plan, index, simulator, stop);
}

namespace {

// The rows of a sweep between its workers and the thread that hands them
// over, in the window of OrderedRows, so memory stays bounded by the work
// in flight.
class RowExchange {
 public:
  RowExchange(std::uint64_t total, std::uint64_t window, unsigned workers) : rows_(total, window), running_(workers) {}

  // The next realisation to run, or none when the sweep is over or stopped.
  std::optional<std::uint64_t> Take(const std::atomic<bool>& stop) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return Over(stop) || rows_.MayTake(); });
    if (Over(stop)) return std::nullopt;
    return rows_.Take();
  }
  // Ends the workers when the rows can no longer be handed over.
  void Abandon() {
    abandoned_ = true;
    room_.notify_all();
  }
  const std::atomic<bool>* Abandoned() const { return &abandoned_; }
  void Finished(std::uint64_t item, SweepRow row) {
    std::lock_guard lock(mutex_);
    rows_.Put(item, std::move(row));
    changed_.notify_one();
  }
  void WorkerEnded() {
    std::lock_guard lock(mutex_);
    --running_;
    changed_.notify_one();
  }
  // Hands the rows over in order until every worker has ended; after a stop
  // the rows beyond the first gap follow, still in order. A row's place in
  // the window is given back once it has been handed over, so that no more
  // than the window's rows are ever held.
  void HandOver(const std::function<void(const SweepRow&)>& onRow, const std::function<void(std::size_t)>& onProgress) {
    std::unique_lock lock(mutex_);
    for (bool over = false; !over;) {
      changed_.wait_for(lock, std::chrono::milliseconds(200), [&] { return running_ == 0 || rows_.NextReady(); });
      over = running_ == 0;
      std::vector<SweepRow> ready = rows_.PopReady(over);
      const std::uint64_t finished = rows_.FinishedCount();
      lock.unlock();
      for (const SweepRow& row : ready) onRow(row);
      ready = {};
      onProgress(finished);
      lock.lock();
      rows_.Release();
      room_.notify_all();  // also wakes the workers to see a stop
    }
  }
  bool Complete() const { return rows_.Complete(); }

 private:
  bool Over(const std::atomic<bool>& stop) const { return stop.load() || abandoned_.load() || rows_.AllTaken(); }

  std::mutex mutex_;
  std::condition_variable changed_, room_;
  OrderedRows rows_;
  unsigned running_;
  std::atomic<bool> abandoned_{false};
};

}  // namespace

std::uint64_t SweepRowCount(const SweepPlan& plan) {
  std::uint64_t total = 0;
  if (__builtin_mul_overflow(static_cast<std::uint64_t>(plan.grid->PointCount()), plan.realizations, &total))
    return 0;
  return total;
}

std::uint64_t ShardItemCount(const SweepPlan& plan) {
  const std::uint64_t total = SweepRowCount(plan);
  return total > plan.shard.index ? (total - plan.shard.index - 1) / plan.shard.count + 1 : 0;
}

std::uint64_t ShardItemIndex(const SweepPlan& plan, std::uint64_t k) { return plan.shard.index + k * plan.shard.count; }

std::uint64_t PlannedRowCount(const SweepPlan& plan) {
  const std::uint64_t items = ShardItemCount(plan);
  return items > plan.skipItems ? items - plan.skipItems : 0;
}

unsigned SweepThreads(const SweepPlan& plan) {
  const std::uint64_t most = std::max<std::uint64_t>(1, std::min<std::uint64_t>(PlannedRowCount(plan), kMostThreads));
  const unsigned side = std::max(1u, plan.threads / std::max(1u, plan.innerThreads));
  return static_cast<unsigned>(std::clamp<std::uint64_t>(side, 1, most));
}

std::uint64_t RowWindow(const SweepPlan& plan) {
  return std::min<std::uint64_t>(std::max<std::uint64_t>(PlannedRowCount(plan), 1),
                                 4 * static_cast<std::uint64_t>(SweepThreads(plan)) + 4);
}

std::uint64_t LoopStepBound(const FieldTexts& fields) {
  try {
    // Each field is rounded to a double as it moves on; over 10^9 steps
    // that may add up to some hundred steps more.
    const auto steps = static_cast<std::uint64_t>(std::max(0, ReadIntegerField(fields, Input::Steps)));
    return steps + steps / (1 << 22) + 8;
  } catch (const Exception&) {
    return 0;
  }
}

std::uint64_t ProtocolStepBound(const FieldTexts& fields, const ModelOptions& model) {
  if (model.fields) return model.fields->size();
  return LoopStepBound(fields) * static_cast<std::uint64_t>(std::max(model.cycles, 1));
}

unsigned InnerThreads(const SweepGrid& grid, unsigned threads) {
  HeadlessFields fields = grid.PointFields(0);
  for (const GridAxis& axis : grid.Axes()) {
    if (axis.input != Input::Side) continue;
    for (const std::string& text : axis.texts) {
      fields.Set(axis.input, text);
      if (const auto side = LargeSide(fields); side && *side >= kSideForInnerThreads) return std::max(1u, threads);
    }
  }
  return 1;
}

bool RunSweep(const SweepPlan& plan, const std::function<void(const SweepRow&)>& onRow,
              const std::function<void(std::size_t)>& onProgress, const std::atomic<bool>& stop) {
  const unsigned threads = SweepThreads(plan);
  RowExchange exchange(PlannedRowCount(plan), RowWindow(plan), threads);
  auto work = [&] {
    std::unique_ptr<Simulator> simulator;
    while (const auto item = exchange.Take(stop)) {
      const std::uint64_t index = ShardItemIndex(plan, plan.skipItems + *item);
      SweepRow row;
      try {
        if (!simulator) simulator = std::make_unique<Simulator>();
        row = Realize(plan, index, *simulator, &stop, exchange.Abandoned());
      } catch (const StopCheck::Stopped&) {
        break;
      } catch (const std::bad_alloc&) {
        row = OutOfMemory(plan, index);
      }
      exchange.Finished(*item, std::move(row));
    }
    exchange.WorkerEnded();
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      // The system gives no more threads: the ones running do the work.
      for (unsigned missing = t; missing < threads; ++missing) exchange.WorkerEnded();
      if (pool.empty()) throw;
      break;
    }
  }
  try {
    exchange.HandOver(onRow, onProgress);
  } catch (...) {
    // What onRow or onProgress threw (memory that ran out, say) ends the
    // sweep once its workers have ended.
    exchange.Abandon();
    for (std::thread& thread : pool) thread.join();
    throw;
  }
  for (std::thread& thread : pool) thread.join();
  return exchange.Complete();
}

}  // namespace ebsim
