#pragma once

#include <pybind11/pybind11.h>

namespace ebsim {

// ebsim.render: the window's picture, drawn by the window's own code.
void AddRender(pybind11::module_& module);

}  // namespace ebsim
