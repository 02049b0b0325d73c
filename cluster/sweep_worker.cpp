// The side of a sweep across ranks that every rank but 0 runs.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "batch/sweep_row_codec.h"
#include "cluster/rank_messages.h"
#include "cluster/rank_sweep.h"
#include "sim/simulator.h"

namespace ebsim {

namespace {

// The most items a rank holds per thread.
constexpr std::uint64_t kMostHeld = 64;

// The items a rank holds, between the thread that talks to rank 0 and the
// threads that run them, and the rows they finished, ready to send.
class HeldItems {
 public:
  void Add(const std::vector<std::uint64_t>& items) {
    std::lock_guard lock(mutex_);
    queue_.insert(queue_.end(), items.begin(), items.end());
    held_ += items.size();
    arrived_.notify_all();
  }
  std::optional<std::uint64_t> Take(const std::atomic<bool>& closing) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (closing.load()) return std::nullopt;
      if (!queue_.empty()) break;
      arrived_.wait_for(lock, std::chrono::milliseconds(5));
    }
    const std::uint64_t item = queue_.front();
    queue_.pop_front();
    return item;
  }
  // One item fewer held; its row, when it was finished.
  void Done(std::optional<std::string> row) {
    std::lock_guard lock(mutex_);
    --held_;
    if (row) rows_.push_back(std::move(*row));
  }
  std::vector<std::string> TakeRows() {
    std::lock_guard lock(mutex_);
    return std::exchange(rows_, {});
  }
  std::uint64_t Held() {
    std::lock_guard lock(mutex_);
    return held_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::uint64_t> queue_;
  std::vector<std::string> rows_;
  std::uint64_t held_ = 0;
};

// Until rank 0 sends the end: asks for work while the threads run short of
// it, sends back the rows, and says so once when stopped. Returns the code.
int Exchange(HeldItems& held, unsigned threads, const std::atomic<bool>& stop, std::atomic<bool>& closing) {
  bool asked = false, noMore = false, starved = false;
  // Enough in hand that the threads never wait for an answer: more when
  // they ran dry while waiting (items that take less than a message).
  std::uint64_t wanted = 4 * static_cast<std::uint64_t>(threads);
  for (;;) {
    if (stop.load() && !closing.load()) {
      closing = true;
      SendToRank(0, RankTag::kStopped);
    }
    for (const std::string& row : held.TakeRows()) SendToRank(0, RankTag::kRow, row);
    starved = starved || (asked && held.Held() == 0);
    if (!asked && !noMore && !closing.load() && held.Held() <= wanted / 2) {
      SendToRank(0, RankTag::kAsk, BytesOf(std::vector{wanted - held.Held()}));
      asked = true;
    }
    while (auto message = ReceiveIfArrived()) {
      if (message->tag == RankTag::kEnd) return ValuesOf<int>(message->bytes).at(0);
      if (message->tag != RankTag::kItems) continue;
      asked = false;
      if (std::exchange(starved, false)) wanted = std::min<std::uint64_t>(2 * wanted, kMostHeld * threads);
      const auto items = ValuesOf<std::uint64_t>(message->bytes);
      noMore = items.empty();
      if (!closing.load()) held.Add(items);
    }
    PollPause();
  }
}

int Work(const SweepPlan& plan, const std::atomic<bool>& stop) {
  const unsigned threads = SweepThreads(plan);
  HeldItems held;
  std::atomic<bool> closing{false};
  auto work = [&] {
    Simulator simulator;
    while (const auto item = held.Take(closing)) {
      try {
        held.Done(EncodeSweepRow(RunRealization(plan, *item, simulator, &closing)));
      } catch (...) {
        if (!closing.load()) throw;  // not a stop: as fatal as on one machine
        held.Done(std::nullopt);
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
  const int code = Exchange(held, threads, stop, closing);
  closing = true;
  for (std::thread& thread : pool) thread.join();
  return code;
}

// Waits for rank 0's start, or for its end when the sweep never starts.
std::optional<std::uint32_t> AwaitStart(int& code) {
  for (;;) {
    if (auto message = ReceiveIfArrived()) {
      if (message->tag == RankTag::kStart) return ValuesOf<std::uint32_t>(message->bytes).at(0);
      if (message->tag == RankTag::kEnd) {
        code = ValuesOf<int>(message->bytes).at(0);
        return std::nullopt;
      }
    } else {
      PollPause();
    }
  }
}

}  // namespace

int ServeSweep(const SweepPlan* plan, const std::atomic<bool>& stop, const std::function<void()>& refused) {
  int code = 0;
  if (const auto seed = AwaitStart(code)) {
    if (plan) {
      SweepPlan ours = *plan;
      ours.seedMs = *seed;
      code = Work(ours, stop);
    } else {  // nothing to run with: stop the sweep, then wait for its end
      if (refused) refused();
      HeldItems none;
      std::atomic<bool> stopped{true}, closing{false};
      code = Exchange(none, 0, stopped, closing);
    }
  }
  SendToRank(0, RankTag::kBye);
  return code;
}

}  // namespace ebsim
