#pragma once
// Ctrl-C while the GIL is released: the thread that called in takes the GIL
// back now and then and asks Python for pending signals.

#include <pybind11/pybind11.h>

#include <chrono>
#include <functional>
#include <optional>

namespace ebsim {

class InterruptCheck {
 public:
  // Whether a signal handler raised (KeyboardInterrupt for Ctrl-C) or
  // `callback` did; at most every 50 ms unless `now`. The error is kept for
  // Rethrow.
  bool Raised(bool now = false, const std::function<void()>& callback = {});
  // Throws the kept error, if any; call with the GIL held.
  void Rethrow();

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::optional<pybind11::error_already_set> error_;
};

}  // namespace ebsim
