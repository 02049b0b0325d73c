#include "python/sweep_progress.h"

namespace ebsim {

SweepProgress::SweepProgress(const py::object& progress, std::uint64_t total, const char* caller) : total_(total) {
  if (progress.is_none() || progress.is(py::bool_(false))) return;
  if (progress.is(py::bool_(true))) {
    try {
      bar_ = py::module_::import("ebsim._progress").attr("bar")(total);
    } catch (const py::error_already_set& missing) {
      if (!missing.matches(PyExc_ImportError)) throw;
      Raise(PyExc_ImportError, std::string(caller) + ": progress=True shows a tqdm bar, and tqdm cannot be imported "
                                                     "(Debian's python3-tqdm)");
    }
    return;
  }
  if (!PyCallable_Check(progress.ptr()))
    throw py::type_error(std::string(caller) + ": progress takes True (a bar), a callable, False or None");
  callback_ = progress;
}

SweepProgress::~SweepProgress() {
  if (bar_.is_none()) return;
  try {
    bar_.attr("close")();
  } catch (const py::error_already_set&) {
    // A bar that cannot be closed leaves only its last line unfinished.
  }
}

void SweepProgress::Report(std::uint64_t finished) {
  if (!callback_.is_none()) callback_(finished, total_);
  if (bar_.is_none() || finished <= shown_) return;
  bar_.attr("update")(finished - shown_);
  shown_ = finished;
}

}  // namespace ebsim
