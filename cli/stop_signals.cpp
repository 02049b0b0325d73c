#include "cli/stop_signals.h"

namespace ebsim {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool>* stop_flag = nullptr;
volatile std::sig_atomic_t received = 0;

extern "C" void OnStopSignal(int signal) {
  received = signal;
  if (stop_flag) stop_flag->store(true);
}

}  // namespace

StopSignals::StopSignals(std::atomic<bool>& stop) {
  stop_flag = &stop;
  received = 0;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int k = 0; k < 3; ++k) sigaction(kSignals[k], &action, &previous_[k]);
}

StopSignals::~StopSignals() {
  for (int k = 0; k < 3; ++k) sigaction(kSignals[k], &previous_[k], nullptr);
  stop_flag = nullptr;
}

int StopSignals::Received() const { return received; }

int StopSignals::ExitCode() const { return 128 + (received ? static_cast<int>(received) : SIGINT); }

}  // namespace ebsim
