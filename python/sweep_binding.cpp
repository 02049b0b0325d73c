#include "python/sweep_binding.h"

#include <array>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>

#include "base/errors.h"
#include "batch/sweep_grid.h"
#include "batch/sweep_output.h"
#include "batch/sweep_runner.h"
#include "form/field_numbers.h"
#include "python/interrupt_check.h"
#include "python/python_values.h"

namespace ebsim {

namespace {

using namespace pybind11::literals;

constexpr const char* kCaller = "ebsim.sweep()";

struct SweepResult {
  py::object rows, summary;
  std::uint32_t seedMs = 0;
  std::size_t rowCount = 0;
};

// A grid value: one item, or a list, tuple or numpy array of items; each
// item's text may itself be a list or a range.
std::vector<std::string> AxisTexts(py::handle value, const InputEntry& input) {
  std::vector<std::string> texts;
  auto add = [&](py::handle item) {
    for (std::string& text : ParseAxisValues(input.field, FieldText(item, input, kCaller), DecimalSeparator()))
      texts.push_back(std::move(text));
  };
  const bool many = py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value) ||
                    py::isinstance(value, py::module_::import("numpy").attr("ndarray"));
  if (!many) {
    add(value);
    return texts;
  }
  for (py::handle item : value) add(item);
  if (texts.empty()) throw py::value_error(std::string(kCaller) + ": " + input.option + " is given no values");
  return texts;
}

SweepGrid GridOf(const py::dict& grid) {
  for (const auto& [key, value] : grid) {
    if (!py::isinstance<py::str>(key)) throw py::type_error(std::string(kCaller) + ": the grid's keys are input names");
    InputNamed(key.cast<std::string>(), kCaller);
  }
  std::vector<GridAxis> axes;
  try {
    for (const InputEntry& input : Inputs()) {
      const auto texts = grid.contains(input.option) ? AxisTexts(grid[input.option], input)
                                                     : std::vector<std::string>{DefaultText(input.field, ".")};
      axes.push_back({input.option, input.field, texts});
    }
    SweepGrid result(std::move(axes));
    CheckRunInputs(result);
    return result;
  } catch (const Exception& bad) {
    RaiseError(ErrorBoxText(bad.Message()), "grid");
  } catch (const std::invalid_argument& bad) {
    RaiseError(bad.what(), "grid");
  }
}

// A DataFrame when pandas is there, else the dict of columns.
py::object Table(const py::dict& columns) {
  try {
    return py::module_::import("pandas").attr("DataFrame")(columns);
  } catch (const py::error_already_set& missing) {
    if (!missing.matches(PyExc_ImportError)) throw;
    return columns;
  }
}

// The grid's inputs of each point (or row), as numbers read by the window's rules.
void GridColumns(py::dict& columns, const SweepGrid& grid, const std::vector<std::size_t>& points) {
  const std::size_t count = grid.Axes().size();
  std::vector<std::vector<std::int64_t>> integers(count);
  std::vector<std::vector<double>> reals(count);
  for (const std::size_t point : points) {
    const std::vector<std::string> texts = grid.PointTexts(point);
    for (std::size_t a = 0; a < count; ++a) {
      if (InputOf(grid.Axes()[a].field).integer) integers[a].push_back(ReadIntegerField(texts[a]));
      else reals[a].push_back(static_cast<double>(ReadRealField(texts[a], grid.Separator())));
    }
  }
  for (std::size_t a = 0; a < count; ++a) {
    const GridAxis& axis = grid.Axes()[a];
    columns[axis.option] = InputOf(axis.field).integer ? py::object(Column(integers[a])) : py::object(Column(reals[a]));
  }
}

py::object RowsTable(const SweepGrid& grid, const std::vector<SweepRow>& rows) {
  std::vector<std::size_t> points;
  std::vector<std::int64_t> realization, seed, descending, ascending;
  std::array<std::vector<std::optional<long double>>, kReadoutCount> readouts;
  py::list errors;
  for (const SweepRow& row : rows) {
    points.push_back(row.point);
    realization.push_back(static_cast<std::int64_t>(row.realization));
    seed.push_back(row.seedMs);
    for (std::size_t k = 0; k < kReadoutCount; ++k) readouts[k].push_back(row.readouts[k]);
    descending.push_back(row.descendingSteps);
    ascending.push_back(row.ascendingSteps);
    errors.append(row.error);
  }
  py::dict columns;
  GridColumns(columns, grid, points);
  columns["realization"] = Column(realization);
  columns["seed_ms"] = Column(seed);
  for (const ReadoutEntry& entry : Readouts())
    columns[ReadoutName(entry.field)] = Column(readouts[static_cast<std::size_t>(entry.field)]);
  columns["steps_descending"] = Column(descending);
  columns["steps_ascending"] = Column(ascending);
  columns["error"] = py::module_::import("numpy").attr("array")(errors, "dtype"_a = "object");
  return Table(columns);
}

py::object SummaryTable(const SweepGrid& grid, const std::vector<SweepRow>& rows) {
  struct Point {
    std::int64_t realizations = 0, failed = 0;
    std::array<ReadoutStatistics, kReadoutCount> readouts{};
  };
  std::vector<Point> points(grid.PointCount());
  for (const SweepRow& row : rows) {
    Point& point = points[row.point];
    ++point.realizations;
    if (!row.error.empty()) ++point.failed;
    else for (std::size_t k = 0; k < kReadoutCount; ++k)
      if (row.readouts[k]) point.readouts[k].Add(*row.readouts[k]);
  }
  std::vector<std::size_t> indices;
  std::vector<std::int64_t> realizations, failed;
  for (std::size_t p = 0; p < points.size(); ++p) {
    indices.push_back(p);
    realizations.push_back(points[p].realizations);
    failed.push_back(points[p].failed);
  }
  py::dict columns;
  GridColumns(columns, grid, indices);
  columns["realizations"] = Column(realizations);
  columns["failed"] = Column(failed);
  for (const ReadoutEntry& entry : Readouts()) {
    std::vector<std::optional<long double>> mean, sd, se;
    std::vector<std::int64_t> n;
    for (const Point& point : points) {
      const ReadoutStatistics& s = point.readouts[static_cast<std::size_t>(entry.field)];
      mean.push_back(s.count ? std::optional(s.mean) : std::nullopt);
      sd.push_back(s.StandardDeviation());
      se.push_back(s.StandardError());
      n.push_back(static_cast<std::int64_t>(s.count));
    }
    const std::string name = ReadoutName(entry.field);
    columns[(name + "_mean").c_str()] = Column(mean);
    columns[(name + "_sd").c_str()] = Column(sd);
    columns[(name + "_se").c_str()] = Column(se);
    columns[(name + "_n").c_str()] = Column(n);
  }
  return Table(columns);
}

std::uint64_t RealizationsOf(const py::object& realizations) {
  if (PyBool_Check(realizations.ptr()) || !PyIndex_Check(realizations.ptr()))
    throw py::type_error(std::string(kCaller) + ": realizations takes an int");
  const py::int_ value(realizations);
  if (value < py::int_(1)) throw py::value_error(std::string(kCaller) + ": realizations takes at least 1");
  return value.cast<std::uint64_t>();
}

SweepResult Sweep(const py::object& gridObject, const py::object& realizations, const py::object& seedMs,
                  const py::object& threads, const py::object& progress) {
  if (!py::isinstance<py::dict>(gridObject))
    throw py::type_error(std::string(kCaller) + ": grid takes a dict of input name -> value, not " +
                         std::string(py::str(gridObject.get_type().attr("__name__"))));
  if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
    throw py::type_error(std::string(kCaller) + ": progress takes a callable or None");
  const SweepGrid grid = GridOf(gridObject.cast<py::dict>());
  SweepPlan plan;
  plan.grid = &grid;
  plan.realizations = RealizationsOf(realizations);
  plan.threads = ThreadsOf(threads, kCaller);
  // As `ebsim sweep`: sides beyond 300, large ones on all threads each.
  plan.largeSides = true;
  plan.innerThreads = InnerThreads(grid, plan.threads);
  const std::uint64_t total = SweepRowCount(plan);
  if (total == 0) throw py::value_error(std::string(kCaller) + ": the sweep holds more rows than can be counted");
  plan.seedMs = SeedOf(seedMs, kCaller);
  std::vector<SweepRow> rows;
  std::atomic<bool> stop{false};
  InterruptCheck check;
  {
    py::gil_scoped_release released;
    RunSweep(
        plan, [&](const SweepRow& row) { rows.push_back(row); },
        [&](std::size_t finished) {
          const auto report = [&] {
            if (!progress.is_none()) progress(finished, total);
          };
          if (check.Raised(true, report)) stop = true;
        },
        stop);
  }
  check.Rethrow();
  return {RowsTable(grid, rows), SummaryTable(grid, rows), plan.seedMs, rows.size()};
}

const char* const kSweepDoc = R"(Runs a sweep as `ebsim sweep` does: every realisation of every grid point.

  grid          dict of input name -> value, the inputs of ebsim.run (side,
                dilution, enhancement, sd, h0, hmin, steps); the others keep
                their default. A value is one item or a list (tuple, numpy
                array) of items; an item is a number, or a str read by the
                window's rules that may hold a list "a;b;c" or a range
                "a:b:s" (from a to b in steps of s). The grid is the product
                of the inputs' values, the last input varying fastest.
  realizations  realisations of each grid point (default 1); realisation r
                is seeded at (seed_ms + 53398447 r) mod 86400000 at every
                point
  seed_ms       the seed of realisation 0; None: the time of day now
  threads       threads to run on (at most 64); None: one per processor.
                The rows do not depend on it.
  progress      None, or a callable progress(finished_rows, total_rows),
                called now and then from the calling thread

Returns a SweepResult: `rows`, one per realisation in order, and `summary`,
one per grid point with each read-out's mean, sd, se and count over the
realisations that showed it, each a pandas DataFrame when pandas can be
imported, else a dict of numpy columns; and `seed_ms`. A failed realisation
is a row with its error text. The GIL is released while the sweep runs; on
Ctrl-C (or an error in `progress`) the sweep stops and the exception is
raised, with nothing returned. Raises ebsim.Error (stage 'grid') for a grid
that the window refuses, TypeError for arguments of the wrong type or name.)";

}  // namespace

void AddSweep(py::module_& module) {
  py::class_<SweepResult>(module, "SweepResult", "What ebsim.sweep returns.")
      .def_readonly("rows", &SweepResult::rows,
                    "One row per realisation: the grid's inputs, realization, seed_ms, the read-outs (NaN where "
                    "blank), steps_descending, steps_ascending and error ('' when none).")
      .def_readonly("summary", &SweepResult::summary,
                    "One row per grid point: the inputs, realizations, failed, and <read-out>_mean, _sd, _se, _n.")
      .def_readonly("seed_ms", &SweepResult::seedMs, "The seed of realisation 0.")
      .def("__repr__", [](const SweepResult& r) {
        return "<ebsim.SweepResult seed_ms=" + std::to_string(r.seedMs) + " rows=" + std::to_string(r.rowCount) +
               ">";
      });
  module.def("sweep", &Sweep, kSweepDoc, py::arg("grid"), py::kw_only(), py::arg("realizations") = 1,
             py::arg("seed_ms") = py::none(), py::arg("threads") = py::none(), py::arg("progress") = py::none());
}

}  // namespace ebsim
