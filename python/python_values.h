#pragma once
// Python values and the window's fields: argument texts, input and read-out
// names, numpy columns and the module's error.

#include <nlohmann/json_fwd.hpp>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "form/catalogue.h"

namespace ebsim {

namespace py = pybind11;

// The read-out's name in Python: "eb_shift", "coercivity", ...
const char* ReadoutName(Quantity quantity);

// The input's name in Python, as in the files: "side", ..., "field_sd".
inline const char* InputName(const InputEntry& input) { return input.column; }
// Its other name, ebsim's option, where that differs ("sd"); else null.
const char* InputAlias(const InputEntry& input);

// The input named so (or by its alias); a TypeError naming the inputs
// otherwise.
const InputEntry& InputNamed(const std::string& name, const char* caller);

// The text a field gets for one Python value: a str as it is, an int in
// decimal, a float (real inputs only) as a text that reads back as the same
// double. A TypeError saying what the input takes otherwise.
std::string FieldText(py::handle value, const InputEntry& input, const char* caller);

// Input k of the catalogue as a keyword argument with the window's default;
// an input with an alias defaults to None, which stands for that default.
py::arg_v InputArg(std::size_t k);
// The one input with an alias: field_sd, also named sd.
inline constexpr std::size_t kAliasedInput = 3;
// The alias of input k as a keyword argument defaulting to None.
py::arg_v AliasArg(std::size_t k);
// The value given for input k by its name or its alias (a TypeError when
// both are given), or its default text.
py::object InputValue(std::size_t k, const py::object& named, const py::object& alias, const char* caller);

// "side         side N of the square lattice ...; default 20": one entry
// per input from the catalogue, each line indented so, for the docstrings.
std::string InputsDoc(std::size_t indent);
// The words wrapped to lines of at most `width`, every line but the first
// indented by `indent`.
std::string WrappedText(const std::string& text, std::size_t indent, std::size_t width);

// The seed: None for the time of day now, else 0 to 86399999 milliseconds.
std::uint32_t SeedOf(const py::object& seedMs, const char* caller);

// An int as the text ebsim's options take ("12"); a TypeError for anything
// but an int (a bool is none).
std::string CountText(const py::object& count, const char* name, const char* caller);

// A thread count: an int of at least 1 (at most kMostThreads), or None for
// the processors the process may use.
unsigned ThreadsOf(const py::object& threads, const char* caller);

// A JSON value as Python's json.loads reads it from the text the files hold.
py::object FromJson(const nlohmann::ordered_json& value);

// Raises ebsim.Error with the window's message and the stage it came from.
[[noreturn]] void RaiseError(const std::string& message, const std::string& stage);
// Raises the Python exception `type` with the message.
[[noreturn]] void Raise(PyObject* type, const std::string& message);
// Defines ebsim.Error on the module.
void AddErrorType(py::module_& module);

template <typename T>
py::array_t<T> Column(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}
// The values taken over by the array, without a copy.
template <typename T>
py::array_t<T> Column(std::vector<T>&& values) {
  auto owned = std::make_unique<std::vector<T>>(std::move(values));
  const auto size = static_cast<py::ssize_t>(owned->size());
  const T* data = owned->data();
  py::capsule owner(owned.get(), [](void* p) { delete static_cast<std::vector<T>*>(p); });
  owned.release();
  return py::array_t<T>(size, data, owner);
}
// Numbers, NaN where there is none.
py::array_t<double> Column(const std::vector<std::optional<long double>>& values);

}  // namespace ebsim
