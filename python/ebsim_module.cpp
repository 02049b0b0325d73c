// The Python package's extension, ebsim._ebsim: the simulator's runs and
// sweeps for scripts and notebooks, on the same engine as the window and
// ebsim. The package (python/ebsim/) adds the tables read back and the
// labelled arrays.

#include <pybind11/pybind11.h>

#include "base/version.h"
#include "form/catalogue.h"
#include "python/interrupt_check.h"
#include "run/written_readouts.h"
#include "python/python_values.h"
#include "python/run_binding.h"
#include "python/sweep_binding.h"
#include "python/sweep_tables.h"
#ifdef EB_PYTHON_WINDOW
#include "python/window_render_binding.h"
#endif

using namespace ebsim;

PYBIND11_MODULE(_ebsim, module) {
  module.doc() =
      "Exchange bias in the two-dimensional random-field Ising model at zero temperature: the window's runs "
      "(run, render) and batch studies (sweep) on the same engine as the ebsim program.\n\n"
      "INPUTS and READOUTS name the inputs and the read-outs in the order ebsim writes them (the window's nine "
      "read-outs, then h_down, h_up, loop_centre and loop_half_width); read_table reads "
      "back any table ebsim writes, every number exact, its metadata in .attrs; forc gives the first-order "
      "reversal curves of one lattice and their distribution.";
  module.attr("__version__") = ProgramVersion();
  AddErrorType(module);
  py::list inputs, readouts;
  for (const InputEntry& input : Inputs()) inputs.append(InputName(input));
  for (const WrittenReadout& readout : WrittenReadouts()) readouts.append(readout.id);
  module.attr("INPUTS") = py::tuple(inputs);
  module.attr("READOUTS") = py::tuple(readouts);
  AddRun(module);
  AddSweep(module);
  AddGridValues(module);
  WaitForCallsAtExit(module);
#ifdef EB_PYTHON_WINDOW
  AddRender(module);
#endif
}
