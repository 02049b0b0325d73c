#pragma once
// The time of day that seeds the random generator: UTC milliseconds since
// midnight, 0 to 86399999. The window reads the system clock; tests and the
// headless command fix it.

#include <cstdint>

namespace ebsim {

class UtcClock {
 public:
  virtual ~UtcClock() = default;
  virtual std::uint32_t MillisecondsSinceMidnight() const = 0;
};

class SystemClock final : public UtcClock {
 public:
  std::uint32_t MillisecondsSinceMidnight() const override;
};

class FixedClock final : public UtcClock {
 public:
  explicit FixedClock(std::uint32_t ms) : ms_(ms) {}
  std::uint32_t MillisecondsSinceMidnight() const override { return ms_; }

 private:
  std::uint32_t ms_;
};

// ((hour * 60 + minute) * 60 + second) * 1000 + millisecond.
constexpr std::uint32_t TimeOfDayMs(int hour, int minute, int second, int millisecond) {
  return static_cast<std::uint32_t>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

}  // namespace ebsim
