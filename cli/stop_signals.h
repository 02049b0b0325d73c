#pragma once
// Routes SIGINT, SIGTERM and SIGHUP to a stop flag while alive, so that a
// command interrupted by the user, the system or a closed terminal ends
// its work in order and leaves whole files.

#include <atomic>
#include <csignal>

namespace ebsim {

class StopSignals {
 public:
  explicit StopSignals(std::atomic<bool>& stop);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal that arrived, 0 when none did.
  int Received() const;
  // The exit code for a command ended by that signal (SIGINT when none
  // arrived, for a stop set otherwise): 128 + the signal.
  int ExitCode() const;

 private:
  struct sigaction previous_[3] {};
};

}  // namespace ebsim
