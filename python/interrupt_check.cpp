#include "python/interrupt_check.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace ebsim {

namespace {

// SIGINT counted ahead of the handler that was there (Python's), which
// still gets every one.
std::atomic<std::uint64_t> interrupts{0};
std::atomic<void (*)(int)> nextHandler{nullptr};

void CountInterrupt(int signal) {
  const int saved = errno;
  interrupts.fetch_add(1, std::memory_order_relaxed);
  errno = saved;
  if (void (*next)(int) = nextHandler.load()) next(signal);
}

// Puts the counter in front of SIGINT's handler unless it is there, or
// there is no handler to pass the signal on to. With the GIL held, as
// Python sets its handlers.
void CountInterrupts() {
  struct sigaction now {};
  if (sigaction(SIGINT, nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO) != 0) return;
  if (now.sa_handler == CountInterrupt || now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN) return;
  nextHandler = now.sa_handler;
  struct sigaction ours = now;
  ours.sa_handler = CountInterrupt;
  sigaction(SIGINT, &ours, nullptr);
}

// The calls under way, and the threads Python is to wait for at exit.
struct Calls {
  std::mutex mutex;
  std::condition_variable changed;
  unsigned running = 0;
  unsigned threads = 0;
  std::atomic<bool> exiting{false};

  void Change(unsigned& count, int by) {
    std::lock_guard lock(mutex);
    count += by;
    changed.notify_all();
  }
};

// Never destroyed: threads may end after the process's destructors ran.
Calls& TheCalls() {
  static Calls* calls = new Calls;
  return *calls;
}

// A thread that is not a daemon and made a call: counted until it ends.
struct ThreadMark {
  bool counted = false;
  ~ThreadMark() {
    if (counted) TheCalls().Change(TheCalls().threads, -1);
  }
};
thread_local ThreadMark threadMark;

void WaitForCalls() {
  Calls& calls = TheCalls();
  calls.exiting = true;
  pybind11::gil_scoped_release released;
  std::unique_lock lock(calls.mutex);
  calls.changed.wait(lock, [&] { return calls.running == 0 && calls.threads == 0; });
}

}  // namespace

InterruptCheck::InterruptCheck() {
  namespace py = pybind11;
  Calls& calls = TheCalls();
  if (calls.exiting) {
    PyErr_SetString(PyExc_SystemExit, "the interpreter is exiting");
    throw py::error_already_set();
  }
  CountInterrupts();
  interrupts_ = interrupts.load();
  const py::module_ threading = py::module_::import("threading");
  const py::object thread = threading.attr("current_thread")();
  mainThread_ = thread.is(threading.attr("main_thread")());
  const py::module_ signal = py::module_::import("signal");
  interruptRaises_ = signal.attr("getsignal")(SIGINT).is(signal.attr("default_int_handler"));
  const bool counted = !mainThread_ && !thread.attr("daemon").cast<bool>() && !threadMark.counted;
  calls.Change(calls.running, 1);
  if (counted) {
    threadMark.counted = true;
    calls.Change(calls.threads, 1);
  }
}

InterruptCheck::~InterruptCheck() { TheCalls().Change(TheCalls().running, -1); }

bool InterruptCheck::Raised(bool now, const std::function<void()>& callback) {
  if (stop_ != Stop::kNone) return true;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - last_ < std::chrono::milliseconds(50)) return false;
  last_ = time;
  if (!mainThread_ && interruptRaises_ && interrupts.load() != interrupts_) stop_ = Stop::kInterrupted;
  else if (TheCalls().exiting) stop_ = Stop::kExiting;
  if (stop_ != Stop::kNone) return true;
  pybind11::gil_scoped_acquire gil;
  try {
    if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
    if (callback) callback();
  } catch (pybind11::error_already_set& error) {
    error_.emplace(std::move(error));
    stop_ = Stop::kRaised;
  }
  return stop_ != Stop::kNone;
}

void InterruptCheck::Rethrow() {
  const Stop stop = std::exchange(stop_, Stop::kNone);
  if (stop == Stop::kRaised) {
    pybind11::error_already_set error = std::move(*error_);
    error_.reset();
    throw error;
  }
  if (stop == Stop::kInterrupted) PyErr_SetNone(PyExc_KeyboardInterrupt);
  if (stop == Stop::kExiting) PyErr_SetString(PyExc_SystemExit, "the interpreter is exiting");
  if (stop != Stop::kNone) throw pybind11::error_already_set();
}

void WaitForCallsAtExit(pybind11::module_& module) {
  pybind11::module_::import("atexit").attr("register")(
      pybind11::cpp_function(&WaitForCalls, pybind11::name("_wait_for_calls"), pybind11::scope(module)));
}

}  // namespace ebsim
