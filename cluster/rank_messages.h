#pragma once
// The messages of a sweep between rank 0 and the other ranks, and the
// calls that pass them. Every wait polls, so that no rank spins on a
// processor its threads need.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace ebsim {

enum class RankTag : int {
  kStart = 1,  // 0 -> k: the sweep's seed; work may be asked for
  kAsk,        // k -> 0: how many items more the rank can take
  kItems,      // 0 -> k: item indices; none: there are no more
  kRow,        // k -> 0: a finished row
  kStopped,    // k -> 0: the rank was stopped; the sweep ends
  kEnd,        // 0 -> k: the sweep is over, with its exit code
  kBye,        // k -> 0: the last message of a rank
};

struct RankMessage {
  int source = 0;
  RankTag tag{};
  std::string bytes;
};

// The ranks of the job.
int RankCount();
void SendToRank(int rank, RankTag tag, const std::string& bytes = {});
// The next message that has arrived, if any.
std::optional<RankMessage> ReceiveIfArrived();
// Waits a little (a millisecond) before the next poll.
void PollPause();

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
