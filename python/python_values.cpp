#include "python/python_values.h"

#include "batch/sweep_runner.h"

#include <cmath>
#include <limits>

#include "base/round_trip_text.h"
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
  for (const InputEntry& input : Inputs()) names += (names.empty() ? "" : ", ") + std::string(input.option);
  return names;
}

}  // namespace

const char* ReadoutName(Readout field) {
  for (const ReadoutEntry& entry : Readouts())
    if (entry.field == field) return entry.id;
  return "";
}

unsigned ThreadsOf(const py::object& threads, const char* caller) {
  if (threads.is_none()) return std::min(AvailableProcessors(), kMostThreads);
  if (PyBool_Check(threads.ptr()) || !PyIndex_Check(threads.ptr()))
    throw py::type_error(std::string(caller) + ": threads takes an int or None");
  const py::int_ value(threads);
  if (value < py::int_(1)) throw py::value_error(std::string(caller) + ": threads takes at least 1");
  return value > py::int_(kMostThreads) ? kMostThreads : value.cast<unsigned>();
}

const InputEntry& InputNamed(const std::string& name, const char* caller) {
  for (const InputEntry& input : Inputs())
    if (name == input.option) return input;
  throw py::type_error(std::string(caller) + ": no input named '" + name + "'; the inputs are " + InputList());
}

std::string FieldText(py::handle value, const InputEntry& input, const char* caller) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  const bool isBool = PyBool_Check(value.ptr());
  if (!isBool && PyIndex_Check(value.ptr())) return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
  if (!isBool && !input.integer && PyFloat_Check(value.ptr())) return RoundTripText(value.cast<double>());
  const std::string takes = input.integer ? "an int or a str" : "an int, a float or a str";
  throw py::type_error(std::string(caller) + ": " + input.option + " takes " + takes + ", not " +
                       std::string(py::str(value.get_type().attr("__name__"))));
}

py::arg_v InputArg(std::size_t k) {
  const InputEntry& input = Inputs()[k];
  const std::string text = DefaultText(input.field, ".");
  return input.integer ? py::arg_v(input.option, py::int_(std::stoi(text))) : py::arg_v(input.option, py::str(text));
}

std::uint32_t SeedOf(const py::object& seedMs, const char* caller) {
  if (seedMs.is_none()) return SystemClock().MillisecondsSinceMidnight();
  if (PyBool_Check(seedMs.ptr()) || !PyIndex_Check(seedMs.ptr()))
    throw py::type_error(std::string(caller) + ": seed_ms takes an int or None, not " +
                         std::string(py::str(seedMs.get_type().attr("__name__"))));
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

void AddErrorType(py::module_& module) {
  ErrorType() = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "ebsim.Error",
      "A text the window refuses or a run that fails: `message` is the window's error box text, `stage` the "
      "button it came from ('lee', 'qrf' or 'run'), or 'grid' for a sweep's grid.",
      PyExc_Exception, nullptr));
  if (!ErrorType()) throw py::error_already_set();
  module.attr("Error") = ErrorType();
}

py::array_t<double> Column(const std::vector<std::optional<long double>>& values) {
  std::vector<double> numbers;
  numbers.reserve(values.size());
  for (const auto& x : values)
    numbers.push_back(x ? static_cast<double>(*x) : std::numeric_limits<double>::quiet_NaN());
  return Column(numbers);
}

}  // namespace ebsim
