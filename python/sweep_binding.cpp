#include "python/sweep_binding.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

#include "base/available_memory.h"
#include "base/errors.h"
#include "base/output_file.h"
#include "batch/loop_tables.h"
#include "batch/point_statistics.h"
#include "batch/sweep_metadata.h"
#include "batch/sweep_output.h"
#include "batch/sweep_plan.h"
#include "batch/sweep_runner.h"
#include "run/model_option_texts.h"
#include "python/avalanche_columns.h"
#include "python/interrupt_check.h"
#include "python/loop_tables.h"
#include "python/model_arguments.h"
#include "python/python_values.h"
#include "python/sweep_progress.h"
#include "python/sweep_tables.h"

namespace ebsim {

namespace {

constexpr const char* kCaller = "ebsim.sweep()";

struct SweepResult {
  py::object rows, summary, loops = py::none(), loopMean = py::none(), avalanches = py::none();
  py::object metadata;
  std::uint32_t seedMs = 0;
  std::uint64_t rowCount = 0;
};

// What the tables keep besides the rows and the summary.
struct KeptTables {
  bool loops = false, loopMean = false, avalanches = false;
};

// A grid value: one item, or a list, tuple or numpy array of items; each
// item's text may itself be a list or a range.
std::vector<std::string> ItemTexts(py::handle value, const InputEntry& input) {
  const bool many = py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value) ||
                    py::isinstance(value, py::module_::import("numpy").attr("ndarray"));
  if (!many) return {FieldText(value, input, kCaller)};
  std::vector<std::string> texts;
  for (py::handle item : value) texts.push_back(FieldText(item, input, kCaller));
  if (texts.empty()) throw py::value_error(std::string(kCaller) + ": " + InputName(input) + " is given no values");
  return texts;
}

SweepAsk AskOf(const py::dict& grid, const py::object& realizations, const py::object& threads, KeptTables kept) {
  SweepAsk ask;
  ask.optionPrefix = "";
  std::map<Input, std::string> keys;
  for (const auto& [key, value] : grid) {
    if (!py::isinstance<py::str>(key)) throw py::type_error(std::string(kCaller) + ": the grid's keys are input names");
    const std::string name = key.cast<std::string>();
    const InputEntry& input = InputNamed(name, kCaller);
    if (const auto [was, fresh] = keys.emplace(input.input, name); !fresh)
      throw py::type_error(std::string(kCaller) + ": " + InputName(input) + " is given twice (as '" + was->second +
                           "' and '" + name + "')");
    ask.values[input.input] = ItemTexts(value, input);
  }
  ask.realizations = CountText(realizations, "realizations", kCaller);
  if (!threads.is_none()) {
    if (PyBool_Check(threads.ptr()) || !PyIndex_Check(threads.ptr()))
      throw py::type_error(std::string(kCaller) + ": threads takes an int or None");
    ask.threads = py::str(py::int_(threads));
  }
  ask.keepLoops = kept.loops || kept.loopMean;
  return ask;
}

PlannedSweep PlanOf(const SweepAsk& ask, bool loopMean) {
  try {
    PlannedSweep planned = PlanSweep(ask);
    // The loops of the rows on their way, beside the lattices.
    if (ask.keepLoops) CheckLoopsFit(planned.plan, loopMean);
    return planned;
  } catch (const Exception& bad) {
    RaiseError(ErrorBoxText(bad.Message()), "grid");
  } catch (const PlanOptionError& bad) {
    Raise(PyExc_ValueError, std::string(kCaller) + ": " + bad.what());
  } catch (const std::invalid_argument& bad) {
    RaiseError(bad.what(), "grid");
  }
}

// The most field steps a loop of the grid takes.
std::uint64_t MostLoopSteps(const SweepGrid& grid) {
  HeadlessFields fields = grid.PointFields(0);
  std::uint64_t most = LoopStepBound(fields);
  for (const GridAxis& axis : grid.Axes()) {
    if (axis.input != Input::Steps) continue;
    for (const std::string& text : axis.texts) {
      fields.Set(Input::Steps, text);
      most = std::max(most, LoopStepBound(fields));
    }
  }
  return most;
}

// Refuses, before anything runs, tables that memory cannot hold: the rows
// unless they go to a file, the summary and the loops kept.
void CheckTablesFit(const SweepPlan& plan, bool keepRows, KeptTables kept) {
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  const long double rows = keepRows ? static_cast<long double>(PlannedRowCount(plan)) : 0;
  const long double points = static_cast<long double>(plan.grid->PointCount());
  const long double steps = kept.loops || kept.loopMean ? static_cast<long double>(MostLoopSteps(*plan.grid)) : 0;
  const long double loops = (kept.loops ? static_cast<long double>(PlannedRowCount(plan)) * LoopStepBytes() : 0) +
                            (kept.loopMean ? points * LoopMeanStepBytes() : 0);
  const long double needed = rows * RowBytes(*plan.grid) + points * SummaryLineBytes(*plan.grid) + steps * loops;
  if (!available || needed <= static_cast<long double>(*available)) return;
  const long double most = static_cast<long double>(std::numeric_limits<std::uint64_t>::max());
  const std::string size = Megabytes(needed < most ? static_cast<std::uint64_t>(needed) : ~std::uint64_t{0});
  std::string what = keepRows ? "the rows (" + std::to_string(PlannedRowCount(plan)) + ")" : "";
  for (const auto& [asked, name] : {std::pair{kept.loops, "the loops"}, {kept.loopMean, "the averaged loops"}})
    if (asked) what += (what.empty() ? "" : ", ") + std::string(name);
  Raise(PyExc_MemoryError, std::string(kCaller) + ": keeping " + what + (what.empty() ? "" : " and ") +
                               "the summary's lines (" +
                               std::to_string(plan.grid->PointCount()) + ") would take about " + size +
                               " of memory; " + Megabytes(*available) + " are available" +
                               (keepRows ? " (out= writes the rows to a file instead)" : ""));
}

std::optional<std::string> OutPath(const py::object& out) {
  if (out.is_none()) return std::nullopt;
  if (!py::isinstance<py::str>(out) && !py::hasattr(out, "__fspath__") && !py::isinstance<py::bytes>(out))
    throw py::type_error(std::string(kCaller) + ": out takes a path (a str or os.PathLike) or None");
  const std::string path = py::module_::import("os").attr("fsdecode")(out).cast<std::string>();
  if (path.empty() || path == "-")
    throw py::value_error(std::string(kCaller) + ": out takes the path of a file, not '" + path + "'");
  return path;
}

// The metadata's command: the options of ebsim sweep that run these rows
// (and write them to `out` when one is given).
std::vector<std::string> CommandLineOf(const SweepAsk& ask, const SweepPlan& plan,
                                       const std::optional<std::string>& out) {
  std::vector<std::string> line = {"ebsim.sweep"};
  for (const GridAxis& axis : plan.grid->Axes()) {
    if (!ask.values.count(axis.input)) continue;
    std::string texts;
    for (const std::string& text : axis.texts) texts += (texts.empty() ? "" : ";") + text;
    line.insert(line.end(), {std::string("--") + InputOf(axis.input).option, texts});
  }
  line.insert(line.end(), {"--realizations", std::to_string(plan.realizations), "--seed-ms",
                           std::to_string(plan.seedMs), "--threads", std::to_string(plan.threads)});
  for (std::string& option : ModelCommand(plan.model)) line.push_back(std::move(option));
  if (out) line.insert(line.end(), {"--out", *out});
  return line;
}

// The runs table as ebsim sweep --out writes it.
struct RunsFile {
  OutputFile file;
  std::uint64_t rows = 0;
  std::optional<std::string> failure;  // the write that failed

  RunsFile(const std::string& path, const SweepPlan& plan, const Json& metadata) : file(path) {
    file.Stream() << CommentLine(metadata);
    WriteRunsHeader(file.Stream(), *plan.grid);
  }
  // Whether the row was written.
  bool Add(const SweepPlan& plan, const SweepRow& row) {
    WriteRunsRow(file.Stream(), *plan.grid, row);
    ++rows;
    errno = 0;
    if (file.Stream().flush() && file.Good()) return true;
    failure = CannotWrite(file.Path(), errno ? errno : EIO);
    return false;
  }
  // Puts the file in place unless a write failed; throws OutputError.
  void End(bool complete) {
    file.Stream() << EndLine(rows, complete && !failure);
    if (!failure && file.Good()) file.Commit();
  }
};

// What the rows go to while the sweep runs, without the GIL.
struct RowSinks {
  const SweepGrid& grid;
  std::optional<RowsTable> rows;
  std::optional<RunsFile> file;
  SummaryTable summary;
  PointTally tally;
  std::optional<LoopsTable> loops;
  std::optional<LoopMeanTable> loopMean;
  std::optional<AvalancheColumns> avalanches;
  std::exception_ptr failure;  // a row that could not be kept

  RowSinks(const SweepGrid& table, KeptTables kept, bool extended)
      : grid(table), summary(table), tally([this](const PointKey& key, const PointStatistics& s) { summary.Add(key, s); }) {
    if (kept.loops) loops.emplace(extended);
    if (kept.loopMean) loopMean.emplace(grid);
    if (kept.avalanches) avalanches.emplace(grid);
  }
  void Add(const SweepPlan& plan, const SweepRow& row, std::atomic<bool>& stop) {
    if (failure || (file && file->failure)) return;
    try {
      if (file && !file->Add(plan, row)) stop = true;
      if (rows) rows->Add(row);
      for (const RunsLine& line : RunsLines(grid, row)) tally.Add(line);
      if (loops) loops->Add(row);
      if (loopMean) loopMean->Add(row);
      if (avalanches) avalanches->Add(row);
    } catch (...) {
      failure = std::current_exception();
      stop = true;
    }
  }
};

void RunRows(const SweepPlan& plan, RowSinks& sinks, InterruptCheck& check, SweepProgress& progress) {
  std::atomic<bool> stop{false};
  bool complete = false;
  {
    py::gil_scoped_release released;
    complete = RunSweep(
        plan, [&](const SweepRow& row) { sinks.Add(plan, row, stop); },
        [&](std::size_t finished) {
          const auto report = [&] { progress.Report(finished); };
          if (check.Raised(true, report)) stop = true;
        },
        stop);
    sinks.tally.Finish();
    try {
      if (sinks.file) sinks.file->End(complete);
    } catch (const OutputError&) {
      if (!sinks.failure) sinks.failure = std::current_exception();
    }
  }
  if (sinks.failure) {
    try {
      std::rethrow_exception(sinks.failure);
    } catch (const OutputError& bad) {
      Raise(PyExc_OSError, std::string(kCaller) + ": " + bad.what());
    }
  }
  if (sinks.file && sinks.file->failure) Raise(PyExc_OSError, std::string(kCaller) + ": " + *sinks.file->failure);
  check.Rethrow();
}

// A ValueError, with ebsim sweep's message in Python's names, for an
// adiabatic sweep with a grid point that cannot take it.
void CheckAdiabaticPoints(const SweepGrid& grid, const ModelOptions& model) {
  for (std::size_t k = 0; k < grid.PointCount() && model.adiabatic; ++k)
    if (const std::optional<std::string> conflict = AdiabaticConflict(model, grid.PointFields(k), true))
      Raise(PyExc_ValueError, std::string(kCaller) + ": " + *conflict);
}

// The table with its file's metadata in DataFrame.attrs: the first line's
// object for a file of this kind, with the end line's time, rows and
// completeness.
py::object Described(py::object table, Json metadata, const char* kind) {
  if (table.is_none() || py::isinstance<py::dict>(table)) return table;
  metadata["file"] = kind;
  metadata["end"] = UtcTimeText(std::chrono::system_clock::now());
  metadata["rows"] = py::len(table);
  metadata["complete"] = true;
  table.attr("attrs") = FromJson(metadata);
  return table;
}

SweepResult Sweep(const py::object& gridObject, const py::object& realizations, const py::object& seedMs,
                  const py::object& threads, const py::object& progress, const py::object& out, KeptTables kept,
                  const ModelArguments& model) {
  if (!py::isinstance<py::dict>(gridObject))
    throw py::type_error(std::string(kCaller) + ": grid takes a dict of input name -> value, not " +
                         std::string(py::str(gridObject.get_type().attr("__name__"))));
  SweepAsk ask = AskOf(gridObject.cast<py::dict>(), realizations, threads, kept);
  const ModelOptions options = ModelOptionsOf(model, kCaller);
  ask.model = options;
  if (!options.spinsAt.empty())
    Raise(PyExc_ValueError, std::string(kCaller) + ": spins_at keeps spins, which ebsim.sweep does not return; "
                                                   "ebsim.run(spins_at=...) does, and ebsim sweep --spins DIR");
  ask.model.adiabatic = kept.avalanches;
  if (kept.avalanches && (kept.loops || kept.loopMean))
    Raise(PyExc_ValueError, std::string(kCaller) + ": adiabatic=True keeps no loops or loop_mean (one loop row per "
                                                   "avalanche); ebsim.run(adiabatic=True) gives a realisation's");
  const std::optional<std::string> path = OutPath(out);
  PlannedSweep planned = PlanOf(ask, kept.loopMean);
  CheckAdiabaticPoints(*planned.grid, ask.model);
  SweepPlan& plan = planned.plan;
  plan.seedMs = SeedOf(seedMs, kCaller);
  CheckTablesFit(plan, !path, kept);
  SweepProgress reporter(progress, PlannedRowCount(plan), kCaller);
  const Json metadata = FileMetadata(plan, "runs", CommandLineOf(ask, plan, path));
  InterruptCheck check;
  RowSinks sinks(*planned.grid, kept, plan.model.Extended());
  try {
    if (path) sinks.file.emplace(*path, plan, metadata);
  } catch (const OutputError& bad) {
    Raise(PyExc_OSError, std::string(kCaller) + ": " + bad.what());
  }
  if (!path) sinks.rows.emplace(*planned.grid, PlannedRowCount(plan));
  RunRows(plan, sinks, check, reporter);
  SweepResult result;
  result.rowCount = sinks.file ? sinks.file->rows : PlannedRowCount(plan);
  result.rows = Described(sinks.rows ? sinks.rows->Table() : py::none(), metadata, "runs");
  result.summary = Described(sinks.summary.Table(), metadata, "summary");
  if (sinks.loops) result.loops = Described(sinks.loops->Table(), metadata, "loops");
  if (sinks.loopMean) result.loopMean = Described(sinks.loopMean->Table(), metadata, "loop_mean");
  if (sinks.avalanches) result.avalanches = Described(sinks.avalanches->Table(), metadata, "avalanches");
  result.metadata = FromJson(metadata);
  result.seedMs = plan.seedMs;
  return result;
}

std::string SweepDoc() {
  return R"(Runs a sweep as `ebsim sweep` does: every realisation of every grid point.

  grid          dict of input name -> value; the inputs are those of
                ebsim.run:
)" + InputsDoc(16) +
         R"(                The others keep their default. A value is one item or a
                list (tuple, numpy array) of items; an item is a number, or
                a str read by the window's rules that may hold a list
                "a;b;c" or a range "a:b:s" (from a to b in steps of s). The
                grid is the product of the inputs' values, the last input
                varying fastest. Sides beyond 300 run on the compact lattice,
                as in ebsim sweep, when memory holds them.
  realizations  realisations of each grid point (default 1); realisation r
                is seeded at (seed_ms + 53398447 r) mod 86400000 at every
                point
  seed_ms       the seed of realisation 0; None: the time of day now
  threads       threads to run on (at most )" + std::to_string(kMostThreads) + R"( are used); None: one per
                processor. The rows do not depend on it.
  progress      True: a tqdm bar of the rows (tqdm.auto: a widget in a
                notebook, text on a terminal); or a callable
                progress(finished_rows, total_rows), called now and then
                from the calling thread; None or False: neither
  out           None, or the path of a file that gets the rows as
                `ebsim sweep --out` writes them (metadata line, header,
                rows, end line; put in place when the sweep ends or stops)
                instead of result.rows
  loops         keep every realisation's loop (result.loops, the columns
                of `ebsim sweep --loops`)
  loop_mean     keep the loop averaged over each point's realisations
                (result.loop_mean, the columns of `ebsim sweep --loop-mean`)
  adiabatic     each realisation driven adiabatically, one avalanche at a
                time (dynamics='stable', an enhancement of 0 or more);
                result.avalanches counts each point's avalanche sizes, the
                columns of `ebsim sweep --avalanches`; the rows' step
                counts are avalanches; not with loops or loop_mean

The model and the protocol of every realisation, as ebsim sweep's options
of the same names (the defaults are the window's):

)" + ModelArgsDoc(2) + R"(

Returns a SweepResult: `rows`, one per realisation in order, with the
columns of the runs file, and `summary`, one per grid point with the
columns of the summary file (each read-out's mean, sd, se and count over
the rows that hold it), each a pandas DataFrame when pandas can be
imported, else a dict of numpy columns; `loops` and `loop_mean` when
asked for; `metadata`, the provenance line of the runs file (version,
grid texts, seed, realisations, command, start), which each DataFrame
also carries in `.attrs` with its own file kind, end time and rows; and
`seed_ms`. `to_xarray()` gives them as labelled arrays over the grid's
axes. A failed realisation is a row with its error text. The tables are
kept in memory (the rows unless out= is given): a sweep whose tables
memory cannot hold raises MemoryError before it starts.

The GIL is released while the sweep runs. Ctrl-C (or an error in
`progress`) stops it and raises, with nothing returned; the rows finished
are in `out`, whose end line says the sweep is not complete. A sweep on
another thread stops on Ctrl-C too, raising KeyboardInterrupt there, and
when the interpreter exits (SystemExit). Raises ebsim.Error (stage 'grid')
for a grid that the window refuses or memory cannot hold, ValueError for
a count out of range or a model option refused (with ebsim sweep's
message), TypeError for arguments of the wrong type or name, OSError when `out` cannot be written.)";
}

}  // namespace

void AddSweep(py::module_& module) {
  py::class_<SweepResult>(module, "SweepResult", "What ebsim.sweep returns.")
      .def_readonly("rows", &SweepResult::rows,
                    "One row per realisation, the columns of the runs file: the grid's inputs, point, realization, "
                    "seed_ms, the read-outs (NaN where blank), steps_descending, steps_ascending and error ('' when "
                    "none); None when the rows went to out=.")
      .def_readonly("summary", &SweepResult::summary,
                    "One row per grid point, the columns of the summary file: the inputs, point, realizations, "
                    "failed, and <read-out>_mean, _sd, _se, _n.")
      .def_readonly("loops", &SweepResult::loops,
                    "Every realisation's loop, the columns of the --loops file: point, realization, step, branch, H, "
                    "M; None without loops=True.")
      .def_readonly("loop_mean", &SweepResult::loopMean,
                    "Per grid point the loop averaged over its realisations, the columns of the --loop-mean file: "
                    "the inputs, point, step, branch, H, M_mean, M_sd, M_se, n; None without loop_mean=True.")
      .def_readonly("avalanches", &SweepResult::avalanches,
                    "Per grid point the avalanche sizes of all its realisations, per branch in bins of powers of "
                    "two, the columns of the --avalanches file: the inputs, point, branch, size_min, size_max, "
                    "count; None without adiabatic=True.")
      .def_readonly("metadata", &SweepResult::metadata,
                    "The runs file's provenance line as a dict: program, file, sweep (version, grid texts, "
                    "separator, seed_ms, realizations, points, rows), shard, command, start.")
      .def_readonly("seed_ms", &SweepResult::seedMs, "The seed of realisation 0.")
      .def(
          "to_xarray",
          [](const py::object& self) { return py::module_::import("ebsim._arrays").attr("sweep_dataset")(self); },
          "The tables as one xarray.Dataset over the grid's axes (the inputs given more than one value; the "
          "others are scalar coordinates): the summary's columns over the axes, the rows' read-outs over the "
          "axes and realization, the loops' M over the axes, realization and step, the averaged loops' M_mean, "
          "M_sd, M_se and n over the axes and step; H and branch are coordinates over the axes and step. The "
          "metadata is in its attrs.")
      .def("__repr__", [](const SweepResult& r) {
        return "<ebsim.SweepResult seed_ms=" + std::to_string(r.seedMs) + " rows=" + std::to_string(r.rowCount) +
               ">";
      });
  module.def(
      "sweep",
      [](const py::object& grid, const py::object& realizations, const py::object& seedMs, const py::object& threads,
         const py::object& progress, const py::object& out, bool loops, bool loopMean, const py::object& dynamics,
         const py::object& boundary, const py::object& cycles, const py::object& fields,
         const py::object& spinsAt, const py::object& engine, bool adiabatic) {
        return Sweep(grid, realizations, seedMs, threads, progress, out, {loops, loopMean, adiabatic},
                     {dynamics, boundary, cycles, fields, spinsAt, engine});
      },
      SweepDoc().c_str(), py::arg("grid"), py::kw_only(), py::arg("realizations") = 1,
      py::arg("seed_ms") = py::none(), py::arg("threads") = py::none(), py::arg("progress") = py::none(),
      py::arg("out") = py::none(), py::arg("loops").noconvert() = false, py::arg("loop_mean").noconvert() = false,
      py::arg("dynamics") = "pass", py::arg("boundary") = "edge-copy", py::arg("cycles") = py::none(),
      py::arg("fields") = py::none(), py::arg("spins_at") = py::none(), py::arg("engine") = "auto",
      py::arg("adiabatic").noconvert() = false);
}

}  // namespace ebsim
