#pragma once
// What ebsim.sweep's `progress` stands for: None or False, nothing; True, a
// tqdm bar (tqdm.auto: a widget in a notebook with ipywidgets, text on a
// terminal or in a log); a callable, called as progress(finished, total).

#include <cstdint>

#include "python/python_values.h"

namespace ebsim {

class SweepProgress {
 public:
  // Throws TypeError for any other value, ImportError when True asks for
  // tqdm and there is none.
  SweepProgress(const py::object& progress, std::uint64_t total, const char* caller);
  // Closes the bar; with the GIL.
  ~SweepProgress();
  SweepProgress(const SweepProgress&) = delete;
  SweepProgress& operator=(const SweepProgress&) = delete;

  bool Reports() const { return !callback_.is_none() || !bar_.is_none(); }
  // With the GIL; what the callable or the bar raises goes on.
  void Report(std::uint64_t finished);

 private:
  py::object callback_ = py::none(), bar_ = py::none();
  std::uint64_t total_ = 0, shown_ = 0;
};

}  // namespace ebsim
