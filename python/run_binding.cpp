#include "python/run_binding.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>

#include "base/errors.h"
#include "form/catalogue.h"
#include "form/headless_form.h"
#include "python/interrupt_check.h"
#include "python/model_arguments.h"
#include "python/python_values.h"
#include "batch/run_provenance.h"
#include "batch/sweep_runner.h"
#include "form/field_parameters.h"
#include "run/loop_measurements.h"
#include "run/model_option_texts.h"
#include "run/simulator.h"
#include "run/written_readouts.h"

namespace ebsim {

namespace {

// What ebsim.run returns.
struct RunResult {
  std::uint32_t seedMs = 0;
  int side = 0;
  std::int64_t stepsDescending = 0, stepsAscending = 0;
  py::dict readouts, shown;
  py::object loop = py::none(), maps = py::none();
  // With an option of the model: each cycle's loop read-outs, and per step
  // the spins reversed and the cycle; the spins kept at spins_at's steps.
  py::object cycles = py::none(), flips = py::none(), cycle = py::none(), spins = py::none();
  // Adiabatic: every avalanche, a structured array.
  py::object avalanches = py::none();
  py::object metadata;
};

// What `ebsim run --loop-csv` writes on its first line for this run: the
// version, the seed, the separator, every input text, and the command of
// `ebsim run` that gives the same run.
Json RunMetadata(const HeadlessFields& fields, std::uint32_t seed, const ModelOptions& model) {
  Json metadata = Json{{"program", "ebsim"}};
  metadata.update(RunProvenance(fields, seed));
  std::vector<std::string> command = {"ebsim.run", "--seed-ms", std::to_string(seed)};
  for (const InputEntry& input : Inputs())
    command.insert(command.end(), {std::string("--") + input.option, fields.Text(input.input)});
  for (std::string& option : ModelCommand(model)) command.push_back(std::move(option));
  AddModelMetadata(metadata, model);
  metadata["command"] = command;
  metadata["start"] = UtcTimeText(std::chrono::system_clock::now());
  return metadata;
}

// Ends the Run at a field step once Python has an error pending, and keeps
// the spins of the steps asked for.
class InterruptingObserver final : public SweepObserver {
 public:
  struct Interrupted {};
  explicit InterruptingObserver(const std::vector<std::int64_t>& spinsAt) : spinsAt_(spinsAt) {}
  void FieldStepDone(Branch, double, double) override { CheckInterrupt(); }
  bool WantsStepSpins(std::int64_t step) const override {
    return std::binary_search(spinsAt_.begin(), spinsAt_.end(), step);
  }
  void StepSpins(std::int64_t step, std::vector<std::int8_t> spins, int n) override {
    kept.push_back({step, n, std::move(spins)});
  }
  // A large lattice's set-up takes seconds: Ctrl-C is heard there too.
  void SetUpRowDone() override { CheckInterrupt(); }
  void CheckInterrupt() {
    if (check.Raised()) throw Interrupted{};
  }
  InterruptCheck check;
  struct Spins {
    std::int64_t step;
    int n;
    std::vector<std::int8_t> spins;
  };
  std::vector<Spins> kept;

 private:
  const std::vector<std::int64_t>& spinsAt_;
};

py::array_t<double> MapArray(const std::vector<std::vector<double>>& rows) {
  const py::ssize_t n = static_cast<py::ssize_t>(rows.size());
  py::array_t<double> array({n, n});
  auto cells = array.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < n; ++i)
    for (py::ssize_t j = 0; j < n; ++j) cells(i, j) = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
  return array;
}

py::dict ReadoutsOf(const HeadlessReadouts& readouts, bool loopOnly) {
  py::dict values;
  for (const ReadoutEntry& entry : Readouts()) {
    if (loopOnly && std::find(kLoopQuantities.begin(), kLoopQuantities.end(), entry.quantity) == kLoopQuantities.end())
      continue;
    const ReadoutValue& value = readouts.Of(entry.quantity);
    values[ReadoutName(entry.quantity)] =
        value.value ? py::object(py::float_(static_cast<double>(*value.value))) : py::none();
  }
  return values;
}

// The protocol's parts of the outcome, for a run with options of the model.
void KeepProtocol(RunResult& result, const RunOutcome& outcome, std::vector<InterruptingObserver::Spins>& kept) {
  py::list cycles;
  for (const CycleOutcome& c : outcome.cycles) {
    py::dict readouts = ReadoutsOf(c.readouts, true);
    const ReadoutNumbers numbers = WrittenNumbers(c.readouts, c.crossings);
    for (std::size_t k = kQuantityCount; k < kWrittenReadoutCount; ++k)
      readouts[WrittenReadouts()[k].id] = numbers[k] ? py::object(py::float_(*numbers[k])) : py::none();
    cycles.append(readouts);
  }
  result.cycles = cycles;
  std::vector<std::int64_t> flips;
  std::vector<std::int32_t> cycle;
  for (const LoopPoint& p : outcome.loop) {
    flips.push_back(p.flips);
    cycle.push_back(p.cycle);
  }
  if (!outcome.loop.empty()) {
    result.flips = Column(std::move(flips));
    result.cycle = Column(std::move(cycle));
  }
  py::dict spins;
  for (InterruptingObserver::Spins& s : kept) {
    py::array_t<std::int8_t> array({s.n, s.n});
    std::copy(s.spins.begin(), s.spins.end(), array.mutable_data());
    spins[py::int_(s.step)] = array;
  }
  result.spins = spins;
}

// Fields cycle (int32, from 1), branch (int8: 0 descending, 1 ascending),
// H (float64) and size (int64), one record per avalanche in order.
py::object AvalancheArray(const std::vector<Avalanche>& avalanches) {
  const py::module_ numpy = py::module_::import("numpy");
  py::list fields;
  fields.append(py::make_tuple("cycle", "<i4"));
  fields.append(py::make_tuple("branch", "i1"));
  fields.append(py::make_tuple("H", "<f8"));
  fields.append(py::make_tuple("size", "<i8"));
  py::object array = numpy.attr("zeros")(avalanches.size(), numpy.attr("dtype")(fields));
  std::vector<std::int32_t> cycle;
  std::vector<std::int8_t> branch;
  std::vector<double> h;
  std::vector<std::int64_t> size;
  for (const Avalanche& a : avalanches) {
    cycle.push_back(a.cycle);
    branch.push_back(a.branch == Branch::Descending ? 0 : 1);
    h.push_back(a.H);
    size.push_back(a.size);
  }
  array[py::str("cycle")] = Column(std::move(cycle));
  array[py::str("branch")] = Column(std::move(branch));
  array[py::str("H")] = Column(std::move(h));
  array[py::str("size")] = Column(std::move(size));
  return array;
}

void KeepOutcome(RunResult& result, const RunOutcome& outcome) {
  result.seedMs = outcome.seedMs;
  result.side = outcome.side;
  result.stepsDescending = outcome.steps.descending;
  result.stepsAscending = outcome.steps.ascending;
  const ReadoutNumbers numbers = WrittenNumbers(outcome.readouts, outcome.crossings);
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k)
    result.readouts[WrittenReadouts()[k].id] = numbers[k] ? py::object(py::float_(*numbers[k])) : py::none();
  for (const ReadoutEntry& entry : Readouts())
    result.shown[ReadoutName(entry.quantity)] = outcome.readouts.Of(entry.quantity).text;
  if (!outcome.loop.empty()) {
    py::list branch;
    std::vector<double> h, m;
    for (const LoopPoint& p : outcome.loop) {
      branch.append(p.branch == Branch::Descending ? "down" : "up");
      h.push_back(p.H);
      m.push_back(p.M);
    }
    result.loop = py::make_tuple(py::module_::import("numpy").attr("array")(branch), Column(h), Column(m));
  }
  if (outcome.maps) {
    py::dict maps;
    maps["exchange"] = MapArray(outcome.maps->exchange);
    maps["energy"] = MapArray(outcome.maps->energy);
    maps["random_field"] = MapArray(outcome.maps->randomField);
    result.maps = maps;
  }
}

RunResult Run(const std::array<py::object, 7>& inputs, const py::object& seedMs, bool loop, bool maps,
              const py::object& threads, const ModelArguments& model, bool adiabatic) {
  HeadlessFields fields;
  for (std::size_t k = 0; k < inputs.size(); ++k)
    fields.Set(Inputs()[k].input, FieldText(inputs[k], Inputs()[k], "ebsim.run()"));
  RunAllOptions options{.keepLoop = loop, .keepMaps = maps, .surface = nullptr, .observer = nullptr};
  options.model = ModelOptionsOf(model, "ebsim.run()");
  options.model.adiabatic = adiabatic;
  options.keepAvalanches = adiabatic;
  if (const std::optional<std::string> conflict = AdiabaticConflict(options.model, fields, true))
    Raise(PyExc_ValueError, "ebsim.run(): " + *conflict);
  if (maps && options.model.Extended())
    Raise(PyExc_ValueError, "ebsim.run(): maps shows the window's runs only, not with dynamics, boundary, cycles, "
                            "fields or spins_at");
  CheckSpinSteps(fields, options.model, "ebsim.run()");
  InterruptingObserver observer(options.model.spinsAt);
  options.observer = &observer;
  // As `ebsim run`: sides beyond 300 on the compact engine, on every processor.
  options.largeSides = true;
  options.compactLattice = !maps;
  options.threads = static_cast<int>(ThreadsOf(threads, "ebsim.run()"));
  const std::uint32_t seed = SeedOf(seedMs, "ebsim.run()");
  const Json metadata = RunMetadata(fields, seed, options.model);
  RunOutcome outcome;
  try {
    py::gil_scoped_release released;
    Simulator simulator;
    outcome = simulator.RunAll(fields, seed, options);
  } catch (const InterruptingObserver::Interrupted&) {
    observer.check.Rethrow();
  }
  if (outcome.error) RaiseError(*outcome.error, outcome.stage);
  RunResult result;
  KeepOutcome(result, outcome);
  if (options.model.Extended()) KeepProtocol(result, outcome, observer.kept);
  if (adiabatic) result.avalanches = AvalancheArray(outcome.avalanches);
  result.metadata = FromJson(metadata);
  return result;
}

std::string RunDoc() {
  return R"(Runs the window's three buttons in turn, as `ebsim run` does.

Each input takes a str, read by the window's rules (as typed into its field),
or a number: an int, or a float for the real inputs, written so that it reads
back as the same double.

)" + InputsDoc(2) +
         R"(  seed_ms      the clock's time of day in milliseconds (0 to 86399999) that
               seeds the random numbers; None: the time now
  loop         keep the hysteresis loop (result.loop)
  maps         keep the set-up maps (result.maps; sides up to 300)
  threads      threads for the set-up, the relaxation passes and the sorting
               of the flip fields of sides above 300 (at most )" + std::to_string(kMostThreads) + R"( are used); None: the processors the process may use

The model and the protocol, as ebsim run's options of the same names (the
defaults are the window's):

)" + ModelArgsDoc(2) + "  adiabatic    " + WrappedText(AdiabaticEntry().KeywordMeaning(), 15, 76) + R"(

Sides beyond 300 run on the compact lattice, as in ebsim run, when memory
holds them. Returns a RunResult. Raises ValueError for a model option
refused (with ebsim run's message), ebsim.Error with the window's
message and the stage ('lee', 'qrf' or 'run') when a button fails,
TypeError for arguments of the wrong type or name, KeyboardInterrupt on
Ctrl-C (also on another thread than the main one), SystemExit when the
interpreter exits meanwhile.)";
}

}  // namespace

void AddRun(py::module_& module) {
  py::class_<RunResult> result(module, "RunResult",
                               "What ebsim.run returns: the read-outs, the seed, the step counts, the loop and maps.");
  result.def_readonly("seed_ms", &RunResult::seedMs, "The seed: the clock's time of day in milliseconds.")
      .def_readonly("side", &RunResult::side, "The lattice side N.")
      .def_readonly("steps_descending", &RunResult::stepsDescending, "Field steps of the descending branch.")
      .def_readonly("steps_ascending", &RunResult::stepsAscending, "Field steps of the ascending branch.")
      .def_readonly("readouts", &RunResult::readouts, "Read-out name -> float, or None where the read-out is blank: the window's, then h_down, h_up, loop_centre "
                    "and loop_half_width.")
      .def_readonly("metadata", &RunResult::metadata,
                    "Where the run comes from, as `ebsim run --loop-csv` writes it on the file's first line: program, "
                    "version, seed_ms, separator, inputs (every input's text), command (the `ebsim run` options "
                    "that give the same run), start; with an option of the model, model: the options as the files name them "
                    "(the command's --fields FILE stands for a file of model['fields'], one a line).")
      .def_readonly("shown", &RunResult::shown, "Read-out name -> the five characters the window shows.")
      .def_readonly("loop", &RunResult::loop,
                    "(branch, H, M): numpy arrays of every field step, branch 'down' or 'up'; None without loop=True.")
      .def_readonly("cycles", &RunResult::cycles,
                    "Each cycle's loop read-outs (name -> float or None; the window's loop read-outs, then h_down, h_up, "
                    "loop_centre and loop_half_width), cycle 1 first; None without an option of "
                    "the model (dynamics, boundary, cycles, fields, spins_at).")
      .def_readonly("flips", &RunResult::flips,
                    "The spins each field step's relaxation reversed, a numpy array beside result.loop; None "
                    "without an option of the model or the loop.")
      .def_readonly("cycle", &RunResult::cycle,
                    "Each field step's cycle (from 1), a numpy array beside result.loop; None without an option "
                    "of the model or the loop.")
      .def_readonly("spins", &RunResult::spins,
                    "Step -> the N x N spins (int8, +1 or -1, row i = 1..N first) after that step, for the steps "
                    "of spins_at; None without an option of the model.")
      .def_readonly("avalanches", &RunResult::avalanches,
                    "Every avalanche of an adiabatic run in order: a numpy structured array with fields cycle "
                    "(int32, from 1), branch (int8: 0 descending, 1 ascending), H (float64, its field) and size "
                    "(int64, the spins it reversed); None without adiabatic=True.")
      .def_readonly("maps", &RunResult::maps,
                    "{'exchange', 'energy', 'random_field'}: N x N float64 arrays, row i = 1..N first; None "
                    "without maps=True.")
      .def("__repr__", [](const RunResult& r) {
        return "<ebsim.RunResult seed_ms=" + std::to_string(r.seedMs) + " side=" + std::to_string(r.side) +
               " readouts=" + std::string(py::repr(r.readouts)) + ">";
      });
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k) {
    const std::string name = WrittenReadouts()[k].id;
    const std::string doc =
        k < kQuantityCount
            ? std::string("The read-out \"") + Readouts()[k].caption + "\" as a float, or None where blank."
            : std::string(WrittenReadouts()[k].meaning) + ", as a float; None where E-B Shift is blank.";
    result.def_property_readonly(name.c_str(), [name](const RunResult& r) { return r.readouts[name.c_str()]; },
                                 doc.c_str());
  }
  module.def(
      "run",
      [](py::object side, py::object dilution, py::object enhancement, py::object fieldSd, py::object h0,
         py::object hmin, py::object steps, py::object seedMs, bool loop, bool maps, py::object threads,
         py::object dynamics, py::object boundary, py::object cycles, py::object fieldValues, py::object spinsAt,
         py::object engine, bool adiabatic, py::object sd) {
        fieldSd = InputValue(kAliasedInput, fieldSd, sd, "ebsim.run()");
        return Run({side, dilution, enhancement, fieldSd, h0, hmin, steps}, seedMs, loop, maps, threads,
                   {dynamics, boundary, cycles, fieldValues, spinsAt, engine}, adiabatic);
      },
      RunDoc().c_str(), py::kw_only(), InputArg(0), InputArg(1), InputArg(2), InputArg(3), InputArg(4),
      InputArg(5), InputArg(6), py::arg("seed_ms") = py::none(), py::arg("loop").noconvert() = true,
      py::arg("maps").noconvert() = false, py::arg("threads") = py::none(), py::arg("dynamics") = "pass",
      py::arg("boundary") = "edge-copy", py::arg("cycles") = py::none(), py::arg("fields") = py::none(),
      py::arg("spins_at") = py::none(), py::arg("engine") = "auto", py::arg("adiabatic").noconvert() = false,
      AliasArg(kAliasedInput));
}

}  // namespace ebsim
