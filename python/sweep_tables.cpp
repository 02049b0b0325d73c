#include "python/sweep_tables.h"

#include <pybind11/stl.h>

#include <limits>
#include <map>
#include <stdexcept>

#include "base/utf8.h"
#include "batch/sweep_output.h"
#include "form/field_numbers.h"

namespace ebsim {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

double Value(const std::optional<long double>& x) { return x ? static_cast<double>(*x) : kNone; }

// An axis's texts as the numbers its column holds.
std::vector<double> AxisValues(const InputEntry& input, const std::vector<std::string>& texts,
                               const DecimalSeparator& separator) {
  std::vector<double> values;
  for (const std::string& text : texts)
    values.push_back(input.integer ? ReadIntegerField(text) : static_cast<double>(ReadRealField(text, separator)));
  return values;
}

}  // namespace

void AddGridValues(py::module_& module) {
  module.def(
      "_grid_values",
      [](const std::string& name, const std::vector<std::string>& texts, const std::string& separator) {
        const InputEntry& input = InputNamed(name, "ebsim._grid_values()");
        const std::vector<double> values = AxisValues(input, texts, DecimalSeparator(DecodeSingleUtf8(separator)));
        py::list numbers;
        for (const double x : values)
          numbers.append(input.integer ? py::object(py::int_(static_cast<std::int64_t>(x)))
                                       : py::object(py::float_(x)));
        return numbers;
      },
      "The grid texts of an input as the numbers the tables hold (read by the window's rules).");
}

void AddGridColumns(Columns& columns, const SweepGrid& grid, const std::vector<std::int64_t>& points) {
  std::size_t stride = grid.PointCount();
  for (const GridAxis& axis : grid.Axes()) {
    stride /= axis.texts.size();
    const bool integer = InputOf(axis.input).integer;
    const std::vector<double> values = AxisValues(InputOf(axis.input), axis.texts, grid.Separator());
    std::vector<double> reals;
    std::vector<std::int64_t> integers;
    for (const std::int64_t point : points) {
      const double x = values[static_cast<std::size_t>(point) / stride % values.size()];
      if (integer) integers.push_back(static_cast<std::int64_t>(x));
      else reals.push_back(x);
    }
    columns[InputOf(axis.input).column] =
        integer ? py::object(Column(std::move(integers))) : py::object(Column(std::move(reals)));
  }
}

py::object MakeTable(Columns& columns, const std::vector<std::string>& names) {
  py::dict ordered;
  for (const std::string& name : names) {
    const auto column = columns.find(name);
    if (column == columns.end()) throw std::logic_error("no column " + name);
    ordered[name.c_str()] = std::move(column->second);
  }
  columns.clear();
  try {
    return py::module_::import("pandas").attr("DataFrame")(ordered);
  } catch (const py::error_already_set& missing) {
    if (!missing.matches(PyExc_ImportError)) throw;
    return ordered;
  }
}

std::uint64_t RowBytes(const SweepGrid& grid) {
  return 2 * sizeof(double) * RunsColumns(grid).size() * static_cast<std::uint64_t>(grid.LinesPerRow());
}

std::uint64_t SummaryLineBytes(const SweepGrid& grid) {
  return 2 * sizeof(double) * SummaryColumns(grid).size() * static_cast<std::uint64_t>(grid.LinesPerRow());
}

RowsTable::RowsTable(const SweepGrid& grid, std::uint64_t rows) : grid_(grid) {
  const std::uint64_t lines = rows * static_cast<std::uint64_t>(grid.LinesPerRow());
  for (auto* column : {&point_, &realization_, &seed_, &descending_, &ascending_}) column->reserve(lines);
  if (grid.Cycles() > 0) cycle_.reserve(lines);
  for (auto& column : readouts_) column.reserve(lines);
}

void RowsTable::Add(const SweepRow& row) {
  for (const RunsLine& line : RunsLines(grid_, row)) {
    if (!row.error.empty()) errors_.emplace_back(point_.size(), row.error);
    point_.push_back(static_cast<std::int64_t>(row.point));
    realization_.push_back(static_cast<std::int64_t>(row.realization));
    if (grid_.Cycles() > 0) cycle_.push_back(static_cast<std::int64_t>(line.cycle));
    seed_.push_back(row.seedMs);
    for (std::size_t k = 0; k < kWrittenReadoutCount; ++k) readouts_[k].push_back(Value((*line.readouts)[k]));
    descending_.push_back(line.descendingSteps);
    ascending_.push_back(line.ascendingSteps);
  }
}

py::object RowsTable::Table() {
  Columns columns;
  AddGridColumns(columns, grid_, point_);
  py::module_ numpy = py::module_::import("numpy");
  py::object errors = numpy.attr("full")(point_.size(), "", py::arg("dtype") = "object");
  for (const auto& [row, text] : errors_) errors[py::int_(row)] = py::str(text);
  columns["error"] = errors;
  columns["point"] = Column(std::move(point_));
  columns["realization"] = Column(std::move(realization_));
  if (grid_.Cycles() > 0) columns["cycle"] = Column(std::move(cycle_));
  columns["seed_ms"] = Column(std::move(seed_));
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k)
    columns[WrittenReadouts()[k].id] = Column(std::move(readouts_[k]));
  columns["steps_descending"] = Column(std::move(descending_));
  columns["steps_ascending"] = Column(std::move(ascending_));
  return MakeTable(columns, RunsColumns(grid_));
}

SummaryTable::SummaryTable(const SweepGrid& grid) : grid_(grid) {}

void SummaryTable::Add(const PointKey& key, const PointStatistics& statistics) {
  point_.push_back(static_cast<std::int64_t>(key.point));
  if (grid_.Cycles() > 0) cycle_.push_back(static_cast<std::int64_t>(key.cycle));
  realizations_.push_back(static_cast<std::int64_t>(statistics.realizations));
  failed_.push_back(static_cast<std::int64_t>(statistics.failed));
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k) {
    const ReadoutStatistics& s = statistics.readouts[k];
    readouts_[k].mean.push_back(Value(s.Mean()));
    readouts_[k].sd.push_back(Value(s.StandardDeviation()));
    readouts_[k].se.push_back(Value(s.StandardError()));
    readouts_[k].n.push_back(static_cast<std::int64_t>(s.count));
  }
}

py::object SummaryTable::Table() {
  Columns columns;
  AddGridColumns(columns, grid_, point_);
  columns["point"] = Column(std::move(point_));
  if (grid_.Cycles() > 0) columns["cycle"] = Column(std::move(cycle_));
  columns["realizations"] = Column(std::move(realizations_));
  columns["failed"] = Column(std::move(failed_));
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k) {
    ReadoutColumns& readout = readouts_[k];
    const std::string id = WrittenReadouts()[k].id;
    columns[id + "_mean"] = Column(std::move(readout.mean));
    columns[id + "_sd"] = Column(std::move(readout.sd));
    columns[id + "_se"] = Column(std::move(readout.se));
    columns[id + "_n"] = Column(std::move(readout.n));
  }
  return MakeTable(columns, SummaryColumns(grid_));
}

}  // namespace ebsim
