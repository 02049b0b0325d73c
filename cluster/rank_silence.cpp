#include "cluster/rank_silence.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>

#include "cluster/rank_messages.h"

namespace ebsim {

std::chrono::milliseconds SilenceLimit() {
  double seconds = 60;
  if (const char* text = std::getenv("EBSIM_RANK_SILENCE")) {
    char* end = nullptr;
    const double given = std::strtod(text, &end);
    if (end != text && *end == '\0' && std::isfinite(given) && given > 0 && given < 1e9) seconds = given;
  }
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::chrono::milliseconds PulseInterval() {
  return std::clamp(SilenceLimit() / 4, std::chrono::milliseconds(50), std::chrono::milliseconds(5000));
}

RankSilence::RankSilence()
    : limit_(SilenceLimit()), from_(Clock::now()), named_(static_cast<std::size_t>(RankCount())) {}

std::vector<int> RankSilence::NameSilent(const std::function<bool(int)>& owed, const std::function<std::string(int)>& why,
                                         std::ostream& err) {
  const auto now = Clock::now();
  std::vector<int> silent;
  for (std::size_t k = 1; k < named_.size(); ++k) {
    const int rank = static_cast<int>(k);
    const Clock::time_point heard = LastHeardFrom(rank);
    if (named_[k] != Clock::time_point() && heard > named_[k]) {
      err << "ebsim sweep: rank " << rank << " is heard from again\n";
      named_[k] = Clock::time_point();
    }
    if (named_[k] == Clock::time_point() && owed(rank) && now - std::max(heard, from_) > limit_) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - heard).count();
      err << "ebsim sweep: rank " << rank << " has sent nothing for " << seconds << " s; " << why(rank) << "\n";
      named_[k] = now;
    }
    if (named_[k] != Clock::time_point()) silent.push_back(rank);
  }
  return silent;
}

}  // namespace ebsim
