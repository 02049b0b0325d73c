// Every rank of a sweep runs the one command line: each other rank sends
// its own to rank 0 first, which compares.

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "cluster/rank_messages.h"
#include "cluster/rank_silence.h"
#include "cluster/rank_sweep.h"

namespace ebsim {

namespace {

std::string Joined(std::span<const std::string> args, char between) {
  std::string text;
  for (const std::string& arg : args) text += (text.empty() ? "" : std::string(1, between)) + arg;
  return text;
}

// A rank's first message: the length of its refusal, the refusal, the line.
std::string LineMessage(std::span<const std::string> args, const std::string& refusal) {
  return BytesOf(std::vector<std::uint64_t>{refusal.size()}) + refusal + Joined(args, '\0');
}
std::pair<std::string, std::string> RefusalAndLine(const std::string& bytes) {
  const std::uint64_t size = ValuesOf<std::uint64_t>(bytes.substr(0, 8)).at(0);
  return {bytes.substr(8, size), bytes.substr(8 + size)};
}

}  // namespace

void SendCommandLine(std::span<const std::string> args, const std::string& refusal) {
  SendToRank(0, RankTag::kLine, LineMessage(args, refusal));
}

bool RanksRunThisLine(std::span<const std::string> args, bool readable, std::ostream& err) {
  const int ranks = RankCount();
  const std::string ours = Joined(args, '\0');
  std::vector<char> said(static_cast<std::size_t>(ranks));
  RankSilence silence;
  auto waited = [&](int rank) { return !said[static_cast<std::size_t>(rank)]; };
  auto why = [](int) { return std::string("rank 0 waits for its command line"); };
  bool agree = true;
  for (int left = ranks - 1; left > 0;) {
    const auto message = ReceiveIfArrived();
    if (!message) {
      silence.NameSilent(waited, why, err);
      PollPause();
      continue;
    }
    if (message->tag != RankTag::kLine || std::exchange(said[static_cast<std::size_t>(message->source)], char{1})) continue;
    --left;
    const auto [refusal, line] = RefusalAndLine(message->bytes);
    if (line != ours) {
      std::string shown = line;
      for (char& c : shown) c = c == '\0' ? ' ' : c;
      err << "ebsim sweep: rank " << message->source << " runs 'ebsim sweep " << shown << "', not rank 0's 'ebsim sweep "
          << Joined(args, ' ') << "': every rank must run the same command line\n";
      agree = false;
    } else if (!refusal.empty() && readable) {
      err << "ebsim sweep: rank " << message->source << ": " << refusal << "\n";
      agree = false;
    }
  }
  return agree;
}

}  // namespace ebsim
