// Rank 0's side of a sweep across ranks.

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "batch/ordered_rows.h"
#include "batch/sweep_row_codec.h"
#include "cluster/rank_messages.h"
#include "cluster/rank_silence.h"
#include "cluster/rank_sweep.h"
#include "run/simulator.h"

namespace ebsim {

namespace {

// The items of a sweep and their finished rows between rank 0's threads
// and the thread that talks to the other ranks, in the window of
// OrderedRows, so memory stays bounded by the work in flight.
class Dealer {
 public:
  Dealer(std::uint64_t total, std::uint64_t window) : rows_(total, window) {}

  std::optional<std::uint64_t> Deal() {
    std::lock_guard lock(mutex_);
    return rows_.Take();
  }
  // For rank 0's own threads: waits for room in the window.
  std::optional<std::uint64_t> DealWhenRoom(const std::atomic<bool>& ending) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (ending.load() || rows_.AllTaken()) return std::nullopt;
      if (const auto item = rows_.Take()) return item;
      room_.wait_for(lock, std::chrono::milliseconds(5));
    }
  }
  void Finished(std::uint64_t item, SweepRow row) {
    std::lock_guard lock(mutex_);
    rows_.Put(item, std::move(row));
  }
  // The rows that follow the last one handed over, in order; with `all`
  // the rows beyond the first gap too. Their places are given back at once.
  std::vector<SweepRow> Ready(bool all) {
    std::vector<SweepRow> ready;
    {
      std::lock_guard lock(mutex_);
      ready = rows_.PopReady(all);
      rows_.Release();
    }
    room_.notify_all();
    return ready;
  }
  bool AllDealt() {
    std::lock_guard lock(mutex_);
    return rows_.AllTaken();
  }
  std::uint64_t FinishedCount() {
    std::lock_guard lock(mutex_);
    return rows_.FinishedCount();
  }
  bool Complete() {
    std::lock_guard lock(mutex_);
    return rows_.Complete();
  }

 private:
  std::mutex mutex_;
  std::condition_variable room_;
  OrderedRows rows_;
};

// The row index of an item of the plan, and back.
std::uint64_t IndexOfItem(const SweepPlan& plan, std::uint64_t item) {
  return ShardItemIndex(plan, plan.skipItems + item);
}
std::uint64_t ItemOfIndex(const SweepPlan& plan, std::uint64_t index) {
  return (index - plan.shard.index) / plan.shard.count - plan.skipItems;
}

// What rank 0 knows of the other ranks while a sweep runs: the work they
// asked for and not yet got, the items they hold, and when each was last
// heard from.
struct RankBook {
  explicit RankBook(int ranks) : held(static_cast<std::size_t>(ranks)) {}
  std::map<int, std::uint64_t> asks;
  std::vector<std::uint64_t> held;
  RankSilence silence;
};

// Answers the ranks that asked for work with what the window allows; a
// rank is told there is no more once everything is dealt.
void Answer(const SweepPlan& plan, RankBook& book, Dealer& dealer) {
  for (auto ask = book.asks.begin(); ask != book.asks.end();) {
    std::vector<std::uint64_t> items;
    while (items.size() < ask->second)
      if (const auto item = dealer.Deal()) items.push_back(IndexOfItem(plan, *item));
      else break;
    if (items.empty() && !dealer.AllDealt()) {
      ++ask;
      continue;
    }
    SendToRank(ask->first, RankTag::kItems, BytesOf(items));
    book.held[static_cast<std::size_t>(ask->first)] += items.size();
    ask = book.asks.erase(ask);
  }
}

// Takes in one message of another rank; whether it ends the sweep.
bool Take(const SweepPlan& plan, const RankMessage& message, RankBook& book, Dealer& dealer) {
  std::uint64_t& held = book.held[static_cast<std::size_t>(message.source)];
  if (message.tag == RankTag::kAsk) {
    book.asks[message.source] = ValuesOf<std::uint64_t>(message.bytes).at(0);
  } else if (message.tag == RankTag::kRow) {
    SweepRow row = DecodeSweepRow(message.bytes);
    dealer.Finished(ItemOfIndex(plan, row.index), std::move(row));
    if (held > 0) --held;
  } else if (message.tag == RankTag::kStopped) {
    std::cerr << "ebsim sweep: rank " << message.source << " stopped; the sweep stops\n";
    return true;
  }
  return false;
}

// Takes the other ranks' messages until `ending` is set, and hands the
// rows over in order as they come. A rank silent while it holds items is
// named; the sweep waits for it (its rows may still come), and a stop
// ends the wait like any other.
void Coordinate(const SweepPlan& plan, Dealer& dealer, const std::function<void(const SweepRow&)>& onRow,
                const std::function<void(std::size_t)>& onProgress, const std::atomic<bool>& stop,
                std::atomic<bool>& ending) {
  RankBook book(RankCount());
  auto holds = [&](int rank) { return book.held[static_cast<std::size_t>(rank)] > 0; };
  auto items = [&](int rank) { return "it holds " + std::to_string(book.held[static_cast<std::size_t>(rank)]) + " items"; };
  auto lastLook = std::chrono::steady_clock::now();
  while (!dealer.Complete() && !ending.load()) {
    while (auto message = ReceiveIfArrived())
      if (Take(plan, *message, book, dealer)) ending = true;
    if (stop.load()) ending = true;
    if (!ending.load()) Answer(plan, book, dealer);
    for (const SweepRow& row : dealer.Ready(false)) onRow(row);
    if (std::chrono::steady_clock::now() - lastLook > std::chrono::milliseconds(200)) {
      onProgress(dealer.FinishedCount());
      book.silence.NameSilent(holds, items, std::cerr);
      lastLook = std::chrono::steady_clock::now();
    }
    PollPause();
  }
  book.silence.NameSilent([](int) { return false; }, items, std::cerr);  // who came back at the last
}

}  // namespace

bool RunSweepAcrossRanks(const SweepPlan& plan, const std::function<void(const SweepRow&)>& onRow,
                         const std::function<void(std::size_t)>& onProgress, const std::atomic<bool>& stop) {
  const int ranks = RankCount();
  const unsigned threads = SweepThreads(plan);
  // Room for the most every rank may hold.
  Dealer dealer(PlannedRowCount(plan), kMostHeldPerThread * threads * ranks + kMostHeldPerThread);
  const std::vector<std::uint64_t> start = {plan.seedMs, static_cast<std::uint64_t>(PulseInterval().count())};
  for (int rank = 1; rank < ranks; ++rank) SendToRank(rank, RankTag::kStart, BytesOf(start));
  std::atomic<bool> ending{false};
  auto work = [&] {
    Simulator simulator;
    while (const auto item = dealer.DealWhenRoom(ending)) {
      try {
        dealer.Finished(*item, RunRealization(plan, IndexOfItem(plan, *item), simulator, &ending));
      } catch (...) {
        if (!ending.load()) throw;  // not a stop: as fatal as on one machine
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
  Coordinate(plan, dealer, onRow, onProgress, stop, ending);
  ending = true;
  for (std::thread& thread : pool) thread.join();
  for (const SweepRow& row : dealer.Ready(true)) onRow(row);
  onProgress(dealer.FinishedCount());
  return dealer.Complete();
}

int EndSweepOnRanks(int code) {
  const int ranks = RankCount();
  for (int rank = 1; rank < ranks; ++rank) SendToRank(rank, RankTag::kEnd, BytesOf(std::vector{code}));
  // Each rank ends its threads (sending signs of life meanwhile) and says
  // goodbye; one that stays silent would hold the job up for nothing, as
  // rank 0's files are in place: the job ends without it.
  RankSilence silence;
  std::vector<char> gone(static_cast<std::size_t>(ranks));
  auto waited = [&](int rank) { return !gone[static_cast<std::size_t>(rank)]; };
  auto why = [](int) { return std::string("the sweep is over and its files in place; the job ends"); };
  for (int left = ranks - 1; left > 0;) {
    if (const auto message = ReceiveIfArrived()) {
      if (message->tag == RankTag::kBye && !std::exchange(gone[static_cast<std::size_t>(message->source)], char{1})) --left;
    } else if (!silence.NameSilent(waited, why, std::cerr).empty()) {
      std::cerr.flush();
      LeaveJob(code);
    } else {
      PollPause();
    }
  }
  DeliverSends(std::chrono::seconds(1));
  return code;
}

}  // namespace ebsim
