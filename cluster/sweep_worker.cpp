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
#include "run/simulator.h"

namespace ebsim {

namespace {

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

// A sign of life for rank 0 once a pulse, as long as the rank serves.
class Pulse {
 public:
  explicit Pulse(std::chrono::milliseconds every) : every_(every) {}
  void Beat() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < every_) return;
    SendToRank(0, RankTag::kAlive);
    last_ = now;
  }

 private:
  const std::chrono::milliseconds every_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Until rank 0 sends the end: asks for work while the threads run short of
// it, sends back the rows, and says so once when stopped. Returns the code.
int Exchange(HeldItems& held, unsigned threads, const std::atomic<bool>& stop, std::atomic<bool>& closing, Pulse& pulse) {
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
      if (std::exchange(starved, false)) wanted = std::min<std::uint64_t>(2 * wanted, kMostHeldPerThread * threads);
      const auto items = ValuesOf<std::uint64_t>(message->bytes);
      noMore = items.empty();
      if (!closing.load()) held.Add(items);
    }
    pulse.Beat();
    PollPause();
  }
}

int Work(const SweepPlan& plan, const std::atomic<bool>& stop, Pulse& pulse) {
  const unsigned threads = SweepThreads(plan);
  HeldItems held;
  std::atomic<bool> closing{false};
  std::atomic<unsigned> running{threads};
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
    --running;
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
  const int code = Exchange(held, threads, stop, closing, pulse);
  closing = true;
  // Rank 0 waits for the goodbye: alive until the threads are done.
  while (running.load() > 0) {
    pulse.Beat();
    PollPause();
  }
  for (std::thread& thread : pool) thread.join();
  return code;
}

// Waits for rank 0's start (the seed and the pulse), or for its end when
// the sweep never starts.
std::optional<std::vector<std::uint64_t>> AwaitStart(int& code) {
  for (;;) {
    if (auto message = ReceiveIfArrived()) {
      if (message->tag == RankTag::kStart) return ValuesOf<std::uint64_t>(message->bytes);
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

int ServeSweep(const SweepPlan* plan, const std::atomic<bool>& stop) {
  int code = 0;
  if (const auto start = AwaitStart(code)) {
    Pulse pulse(std::chrono::milliseconds(start->at(1)));
    if (plan) {
      SweepPlan ours = *plan;
      ours.seedMs = static_cast<std::uint32_t>(start->at(0));
      code = Work(ours, stop, pulse);
    } else {  // nothing to run with: stop the sweep, then wait for its end
      HeldItems none;
      std::atomic<bool> stopped{true}, closing{false};
      code = Exchange(none, 0, stopped, closing, pulse);
    }
  }
  SendToRank(0, RankTag::kBye);
  DeliverSends(std::chrono::seconds(1));
  return code;
}

}  // namespace ebsim
