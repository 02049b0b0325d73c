#include "model/utc_clock.h"

#include <chrono>

namespace ebsim {

std::uint32_t SystemClock::MillisecondsSinceMidnight() const {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto midnight = floor<days>(now);
  return static_cast<std::uint32_t>((now - midnight).count());
}

}  // namespace ebsim
