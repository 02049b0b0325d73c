#pragma once
// Rank 0's watch on the other ranks: every rank that serves a sweep sends
// something at least every PulseInterval() (its rows, or a sign of life), so one
// that sends nothing for long is stopped, frozen or cut off, however slow
// its items are. Such a rank is named once per silence on standard error,
// and again when it is heard from.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ebsim {

// How long a rank may send nothing before it is named: 60 s, or the
// seconds EBSIM_RANK_SILENCE gives (a positive number).
std::chrono::milliseconds SilenceLimit();
// How often a serving rank says it is alive: a quarter of the limit, from
// 50 ms to 5 s.
std::chrono::milliseconds PulseInterval();

class RankSilence {
 public:
  // Silence counts from now at the earliest: each rank has the whole limit
  // for what is awaited from it from here on.
  RankSilence();
  // Names, on `err`, each rank silent beyond the limit and not named yet
  // since it was last heard, among those `owed` says something is awaited
  // from; `why` ends the line ("it holds 4 items"). Returns the ranks
  // named and not heard from since.
  std::vector<int> NameSilent(const std::function<bool(int)>& owed, const std::function<std::string(int)>& why,
                              std::ostream& err);

 private:
  using Clock = std::chrono::steady_clock;
  const std::chrono::milliseconds limit_;
  const Clock::time_point from_;
  std::vector<Clock::time_point> named_;  // when each was named; the epoch: not named
};

}  // namespace ebsim
