#pragma once
// The messages of a sweep between rank 0 and the other ranks, and the
// calls that pass them. No call waits for another rank: a send is handed
// to MPI and completes on its own, a receive returns only what has fully
// arrived, so a rank that stops in the middle of a message holds up
// nobody. Every wait polls, so that no rank spins on a processor its
// threads need.

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace ebsim {

enum class RankTag : int {
  kLine = 1,  // k -> 0, first: the rank's command line, and why it cannot run it
  kStart,     // 0 -> k: the sweep's seed and the pulse in ms; work may be asked for
  kAsk,       // k -> 0: how many items more the rank can take
  kItems,     // 0 -> k: item indices; none: there are no more
  kRow,       // k -> 0: a finished row
  kAlive,     // k -> 0: nothing else to say yet (once a pulse while serving)
  kStopped,   // k -> 0: the rank was stopped; the sweep ends
  kEnd,       // 0 -> k: the sweep is over, with its exit code
  kBye,       // k -> 0: the last message of a rank
};

// The most items a rank asks to hold per thread; rank 0's window has room
// for every rank's.
inline constexpr std::uint64_t kMostHeldPerThread = 64;

struct RankMessage {
  int source = 0;
  RankTag tag{};
  std::string bytes;
};

// The ranks of the job.
int RankCount();
void SendToRank(int rank, RankTag tag, const std::string& bytes = {});
// The next message that has arrived whole, if any; the messages of one
// rank come in the order it sent them.
std::optional<RankMessage> ReceiveIfArrived();
// When the last message from `rank` began to arrive (the first call's time
// when none has).
std::chrono::steady_clock::time_point LastHeardFrom(int rank);
// Waits a little (a millisecond) before the next poll.
void PollPause();
// Waits up to `most` for the messages sent so far to be taken; whether
// they all were.
bool DeliverSends(std::chrono::milliseconds most);
// Leaves the job at once with `code`, without waiting for the other ranks
// (the launcher then ends them), when a rank no longer answers. Open
// MPI's mpirun makes a code of 0 a 1.
[[noreturn]] void LeaveJob(int code);

template <typename T>
std::string BytesOf(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}
template <typename T>
std::vector<T> ValuesOf(const std::string& bytes) {
  std::vector<T> values(bytes.size() / sizeof(T));
  if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
  return values;
}

}  // namespace ebsim
