#include "python/model_arguments.h"

#include <nlohmann/json.hpp>

#include "base/errors.h"
#include "base/round_trip_text.h"
#include "batch/sweep_metadata.h"
#include "form/field_parameters.h"
#include "run/field_sweep.h"
#include "run/large_lattice.h"
#include "python/python_values.h"
#include "run/model_option_texts.h"

namespace ebsim {

namespace {

std::string TypeName(py::handle value) { return py::str(value.get_type().attr("__name__")); }

std::string TextOf(const py::object& value, const char* name, const char* caller) {
  if (!py::isinstance<py::str>(value))
    throw py::type_error(std::string(caller) + ": " + name + " takes a str, not " + TypeName(value));
  return value.cast<std::string>();
}

// A sequence's items; a TypeError for a str or anything not iterable.
py::list ItemsOf(const py::object& value, const char* name, const char* takes, const char* caller) {
  if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) || !py::isinstance<py::iterable>(value))
    throw py::type_error(std::string(caller) + ": " + name + " takes " + takes + ", not " + TypeName(value));
  return py::list(value);
}

// A field value's text: a str as it is, an int in decimal, a float as the
// shortest text the window reads back as the same double.
std::string FieldValueText(py::handle value, const char* caller) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  const bool isBool = PyBool_Check(value.ptr());
  if (!isBool && PyIndex_Check(value.ptr())) return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
  if (!isBool && PyFloat_Check(value.ptr())) return RoundTripText(value.cast<double>());
  throw py::type_error(std::string(caller) + ": fields takes field values (floats, ints or str), not " +
                       TypeName(value));
}

std::vector<std::string> FieldTexts(const py::object& fields, const char* caller) {
  std::vector<std::string> texts;
  for (py::handle item : ItemsOf(fields, "fields", "a sequence of field values", caller)) {
    texts.push_back(FieldValueText(item, caller));
    (void)HistoryFieldOption(texts.back(), DecimalSeparator('.'), "fields value " + std::to_string(texts.size()));
  }
  if (texts.empty()) throw ModelOptionError("fields holds no field value");
  return texts;
}

std::vector<std::int64_t> SpinSteps(const py::object& spinsAt, const char* caller) {
  std::string text;
  for (py::handle item : ItemsOf(spinsAt, "spins_at", "a sequence of steps (ints)", caller)) {
    if (PyBool_Check(item.ptr()) || !PyIndex_Check(item.ptr()))
      throw py::type_error(std::string(caller) + ": spins_at takes steps (ints), not " + TypeName(item));
    text += (text.empty() ? "" : ";") + py::str(py::int_(py::reinterpret_borrow<py::object>(item))).cast<std::string>();
  }
  return SpinStepsOption(text, "spins_at");
}

void Read(ModelOptions& options, const ModelArguments& arguments, const char* caller) {
  options.dynamics = DynamicsOption(TextOf(arguments.dynamics, "dynamics", caller), "dynamics");
  options.boundary = BoundaryOption(TextOf(arguments.boundary, "boundary", caller), "boundary");
  if (!arguments.cycles.is_none()) {
    options.cycles = CyclesOption(CountText(arguments.cycles, "cycles", caller), "cycles");
    options.cyclesGiven = true;
  }
  if (!arguments.fields.is_none()) {
    if (options.cyclesGiven) throw ModelOptionError("cycles and fields cannot be given together");
    options.fields = FieldTexts(arguments.fields, caller);
  }
  if (!arguments.spinsAt.is_none()) options.spinsAt = SpinSteps(arguments.spinsAt, caller);
  options.engine = EngineOption(TextOf(arguments.engine, "engine", caller), "engine");
}

}  // namespace

ModelOptions ModelOptionsOf(const ModelArguments& arguments, const char* caller) {
  ModelOptions options;
  try {
    Read(options, arguments, caller);
  } catch (const ModelOptionError& bad) {
    Raise(PyExc_ValueError, std::string(caller) + ": " + bad.what());
  }
  return options;
}

std::string ModelArgsDoc(std::size_t indent) {
  std::string doc;
  for (const ModelOptionEntry& entry : ModelOptionEntries()) {
    std::string name = entry.keyword;
    name.resize(std::max<std::size_t>(name.size() + 1, 13), ' ');
    doc += std::string(indent, ' ') + name + WrappedText(entry.KeywordMeaning(), indent + name.size(), 76) + "\n";
  }
  return doc;
}

void AddModelMetadata(nlohmann::ordered_json& metadata, const ModelOptions& options) {
  if (options.Extended()) metadata["model"] = ModelIdentity(options);
}

void CheckSpinSteps(const HeadlessFields& fields, const ModelOptions& options, const char* caller) {
  if (options.spinsAt.empty()) return;
  std::int64_t steps = 0;
  try {
    const RunInputs inputs = ReadRunInputs(FieldParameters(fields), kLargestSide);
    steps = StepCount(*ProtocolOf(inputs, options, fields.Separator()));
  } catch (const Exception&) {
    return;  // the run reports its own error
  }
  if (options.spinsAt.back() >= steps)
    Raise(PyExc_ValueError, std::string(caller) + ": spins_at " + std::to_string(options.spinsAt.back()) +
                                " is beyond the run's last step, " + std::to_string(steps - 1) +
                                " (steps count from 0)");
}

std::vector<std::string> ModelCommand(const ModelOptions& options) {
  std::vector<std::string> line;
  if (options.dynamics != DynamicsRule::Pass) line.insert(line.end(), {"--dynamics", std::string(DynamicsName(options.dynamics))});
  if (options.boundary != Boundary::EdgeCopy)
    line.insert(line.end(), {"--boundary", std::string(BoundaryName(options.boundary))});
  if (options.cyclesGiven) line.insert(line.end(), {"--cycles", std::to_string(options.cycles)});
  if (options.fields) line.insert(line.end(), {"--fields", "FILE"});
  if (!options.spinsAt.empty()) {
    std::string steps;
    for (std::int64_t k : options.spinsAt) steps += (steps.empty() ? "" : ";") + std::to_string(k);
    line.insert(line.end(), {"--spins-at", steps});
  }
  if (options.adiabatic) line.push_back("--adiabatic");
  return line;
}

}  // namespace ebsim
