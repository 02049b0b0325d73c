#pragma once
// Python values and the window's fields: argument texts, read-out names,
// numpy columns and the module's error.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "form/catalogue.h"

namespace ebsim {

namespace py = pybind11;

// The read-out's name in Python: "eb_shift", "coercivity", ...
const char* ReadoutName(Readout field);

// The input with that option name; a TypeError naming the inputs otherwise.
const InputEntry& InputNamed(const std::string& name, const char* caller);

// The text a field gets for one Python value: a str as it is, an int in
// decimal, a float (real inputs only) as a text that reads back as the same
// double. A TypeError saying what the input takes otherwise.
std::string FieldText(py::handle value, const InputEntry& input, const char* caller);

// Input k of the catalogue as a keyword argument with the window's default.
py::arg_v InputArg(std::size_t k);

// The seed: None for the time of day now, else 0 to 86399999 milliseconds.
std::uint32_t SeedOf(const py::object& seedMs, const char* caller);

// A thread count: an int of at least 1 (at most kMostThreads), or None for
// the processors the process may use.
unsigned ThreadsOf(const py::object& threads, const char* caller);

// Raises ebsim.Error with the window's message and the stage it came from.
[[noreturn]] void RaiseError(const std::string& message, const std::string& stage);
// Defines ebsim.Error on the module.
void AddErrorType(py::module_& module);

template <typename T>
py::array_t<T> Column(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}
// Numbers, NaN where there is none.
py::array_t<double> Column(const std::vector<std::optional<long double>>& values);

}  // namespace ebsim
