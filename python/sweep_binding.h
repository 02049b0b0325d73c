#pragma once

#include <pybind11/pybind11.h>

namespace ebsim {

// ebsim.sweep and its result type.
void AddSweep(pybind11::module_& module);

}  // namespace ebsim
