#pragma once
// Ctrl-C and interpreter exit while a call runs with the GIL released. The
// call holds an InterruptCheck from start to end, made and destroyed with
// the GIL held, and stops when Raised() says so:
//  - when a Python signal handler raised (Ctrl-C: KeyboardInterrupt, on the
//    main thread) or the callback did;
//  - on another thread, when SIGINT arrived after the call began while
//    Python's handler for it raises KeyboardInterrupt: the main thread gets
//    it, and so does the call;
//  - when the interpreter exits: Python waits at exit until every call has
//    ended (raising SystemExit in its thread), and until the threads that
//    are not daemons and made a call have ended, so that no call takes the
//    GIL back from an interpreter torn down.

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace ebsim {

class InterruptCheck {
 public:
  // Raises SystemExit once the interpreter is exiting.
  InterruptCheck();
  ~InterruptCheck();
  InterruptCheck(const InterruptCheck&) = delete;
  InterruptCheck& operator=(const InterruptCheck&) = delete;

  // Whether the call is to stop; looks at most every 50 ms unless `now`, and
  // then runs `callback` with the GIL. The reason is kept for Rethrow.
  bool Raised(bool now = false, const std::function<void()>& callback = {});
  // Raises why the call stopped, if it did; call with the GIL held.
  void Rethrow();

 private:
  enum class Stop { kNone, kRaised, kInterrupted, kExiting };
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::uint64_t interrupts_ = 0;  // SIGINTs counted before the call
  bool mainThread_ = true;
  bool interruptRaises_ = false;  // Python's SIGINT handler raises KeyboardInterrupt
  Stop stop_ = Stop::kNone;
  std::optional<pybind11::error_already_set> error_;
};

// Has the interpreter wait at exit for the calls, as above.
void WaitForCallsAtExit(pybind11::module_& module);

}  // namespace ebsim
