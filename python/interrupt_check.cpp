#include "python/interrupt_check.h"

namespace ebsim {

bool InterruptCheck::Raised(bool now, const std::function<void()>& callback) {
  if (error_) return true;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - last_ < std::chrono::milliseconds(50)) return false;
  last_ = time;
  pybind11::gil_scoped_acquire gil;
  try {
    if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
    if (callback) callback();
  } catch (pybind11::error_already_set& error) {
    error_.emplace(std::move(error));
  }
  return error_.has_value();
}

void InterruptCheck::Rethrow() {
  if (!error_) return;
  pybind11::error_already_set error = std::move(*error_);
  error_.reset();
  throw error;
}

}  // namespace ebsim
