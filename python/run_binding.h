#pragma once

#include <pybind11/pybind11.h>

namespace ebsim {

// ebsim.run and its result type.
void AddRun(pybind11::module_& module);

}  // namespace ebsim
