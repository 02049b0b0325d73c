#include "python/python_values.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>

#include <nlohmann/json.hpp>

#include "base/json_text.h"
#include "base/round_trip_text.h"
#include "batch/sweep_plan.h"
#include "model/utc_clock.h"

namespace ebsim {

namespace {

// Kept for the life of the process: never released after the interpreter ends.
py::object& ErrorType() {
  static py::object* type = new py::object();
  return *type;
}

std::string InputList() {
  std::string names;
  for (const InputEntry& input : Inputs()) names += (names.empty() ? "" : ", ") + std::string(InputName(input));
  return names;
}

std::string TypeName(py::handle value) { return py::str(value.get_type().attr("__name__")); }

}  // namespace

std::string WrappedText(const std::string& text, std::size_t indent, std::size_t width) {
  std::string out, line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
      out += line + "\n" + std::string(indent, ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return out + line;
}

const char* ReadoutName(Quantity quantity) { return ReadoutOf(quantity).id; }

const char* InputAlias(const InputEntry& input) {
  return std::strcmp(input.option, input.column) != 0 ? input.option : nullptr;
}

const InputEntry& InputNamed(const std::string& name, const char* caller) {
  for (const InputEntry& input : Inputs())
    if (name == InputName(input) || (InputAlias(input) && name == InputAlias(input))) return input;
  throw py::type_error(std::string(caller) + ": no input named '" + name + "'; the inputs are " + InputList());
}

std::string FieldText(py::handle value, const InputEntry& input, const char* caller) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  const bool isBool = PyBool_Check(value.ptr());
  if (!isBool && PyIndex_Check(value.ptr())) return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
  if (!isBool && !input.integer && PyFloat_Check(value.ptr())) return RoundTripText(value.cast<double>());
  const std::string takes = input.integer ? "an int or a str" : "an int, a float or a str";
  throw py::type_error(std::string(caller) + ": " + InputName(input) + " takes " + takes + ", not " + TypeName(value));
}

py::arg_v InputArg(std::size_t k) {
  const InputEntry& input = Inputs()[k];
  const std::string text = DefaultText(input.input, ".");
  const py::object value = input.integer ? py::object(py::int_(std::stoi(text))) : py::object(py::str(text));
  // pybind11 copies the shown default when the function is defined, after this returns.
  static std::deque<std::string> shown;
  if (InputAlias(input)) return py::arg_v(InputName(input), py::none(), shown.emplace_back(py::repr(value)).c_str());
  return py::arg_v(InputName(input), value);
}

py::arg_v AliasArg(std::size_t k) { return py::arg_v(InputAlias(Inputs()[k]), py::none()); }

py::object InputValue(std::size_t k, const py::object& named, const py::object& alias, const char* caller) {
  const InputEntry& input = Inputs()[k];
  if (!named.is_none() && !alias.is_none())
    throw py::type_error(std::string(caller) + ": " + InputName(input) + " is given twice (also as " +
                         InputAlias(input) + ")");
  if (!named.is_none()) return named;
  if (!alias.is_none()) return alias;
  return py::str(DefaultText(input.input, "."));
}

std::string InputsDoc(std::size_t indent) {
  std::string doc;
  for (const InputEntry& input : Inputs()) {
    std::string text = input.meaning;
    if (*input.unit) text += std::string(" [") + input.unit + "]";
    text += std::string("; default ") + input.defaultText;
    if (InputAlias(input)) text += std::string("; also named ") + InputAlias(input);
    std::string name = InputName(input);
    name.resize(std::max<std::size_t>(name.size() + 1, 13), ' ');
    doc += std::string(indent, ' ') + name + WrappedText(text, indent + name.size(), 76) + "\n";
  }
  return doc;
}

std::string CountText(const py::object& count, const char* name, const char* caller) {
  if (PyBool_Check(count.ptr()) || !PyIndex_Check(count.ptr()))
    throw py::type_error(std::string(caller) + ": " + name + " takes an int, not " + TypeName(count));
  return py::str(py::int_(count));
}

unsigned ThreadsOf(const py::object& threads, const char* caller) {
  if (threads.is_none()) return DefaultThreadCount();
  if (PyBool_Check(threads.ptr()) || !PyIndex_Check(threads.ptr()))
    throw py::type_error(std::string(caller) + ": threads takes an int or None, not " + TypeName(threads));
  try {
    return ThreadCount(py::str(py::int_(threads)), "threads");
  } catch (const PlanOptionError& bad) {
    throw py::value_error(std::string(caller) + ": " + bad.what());
  }
}

std::uint32_t SeedOf(const py::object& seedMs, const char* caller) {
  if (seedMs.is_none()) return SystemClock().MillisecondsSinceMidnight();
  if (PyBool_Check(seedMs.ptr()) || !PyIndex_Check(seedMs.ptr()))
    throw py::type_error(std::string(caller) + ": seed_ms takes an int or None, not " + TypeName(seedMs));
  const py::int_ value(seedMs);
  if (value < py::int_(0) || value > py::int_(86399999))
    throw py::value_error(std::string(caller) + ": seed_ms takes milliseconds since midnight, 0 to 86399999, not " +
                          py::repr(value).cast<std::string>());
  return value.cast<std::uint32_t>();
}

void RaiseError(const std::string& message, const std::string& stage) {
  py::object error = ErrorType()(message);
  error.attr("message") = message;
  error.attr("stage") = stage;
  PyErr_SetObject(ErrorType().ptr(), error.ptr());
  throw py::error_already_set();
}

void Raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

void AddErrorType(py::module_& module) {
  ErrorType() = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "ebsim.Error",
      "A text the window refuses or a run that fails: `message` is the window's error box text, `stage` the "
      "button it came from ('lee', 'qrf' or 'run'), or 'grid' for a sweep's grid.",
      PyExc_Exception, nullptr));
  if (!ErrorType()) throw py::error_already_set();
  module.attr("Error") = ErrorType();
}

py::object FromJson(const nlohmann::ordered_json& value) {
  return py::module_::import("json").attr("loads")(JsonText(value));
}

py::array_t<double> Column(const std::vector<std::optional<long double>>& values) {
  std::vector<double> numbers;
  numbers.reserve(values.size());
  for (const auto& x : values)
    numbers.push_back(x ? static_cast<double>(*x) : std::numeric_limits<double>::quiet_NaN());
  return Column(std::move(numbers));
}

}  // namespace ebsim
