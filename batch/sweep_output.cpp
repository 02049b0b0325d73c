#include "batch/sweep_output.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

#include "base/round_trip_text.h"
#include "form/catalogue.h"

namespace ebsim {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

namespace {

std::vector<TableColumn> GridColumns(const SweepGrid& grid) {
  std::vector<TableColumn> columns;
  for (const GridAxis& axis : grid.Axes())
    columns.push_back({InputOf(axis.input).column, CellKind::Text, ColumnRole::Axis});
  return columns;
}

TableColumn Count(std::string name, ColumnRole role = ColumnRole::Value) {
  return {std::move(name), CellKind::Count, role};
}

// Statistics are reckoned in extended precision and rounded to double once,
// here.
std::optional<double> Statistic(const std::optional<long double>& x) {
  return x ? std::optional<double>(static_cast<double>(*x)) : std::nullopt;
}

}  // namespace

std::vector<TableColumn> RunsTableColumns(const SweepGrid& grid) {
  std::vector<TableColumn> columns = GridColumns(grid);
  columns.insert(columns.end(), {Count("point", ColumnRole::Point), Count("realization", ColumnRole::Realization)});
  if (grid.Cycles() > 0) columns.push_back(Count("cycle", ColumnRole::Cycle));
  columns.push_back(Count("seed_ms"));
  for (const WrittenReadout& readout : WrittenReadouts()) columns.push_back({readout.id, CellKind::Real});
  columns.insert(
      columns.end(),
      {{"steps_descending", CellKind::Integer}, {"steps_ascending", CellKind::Integer}, {"error", CellKind::Text}});
  return columns;
}

std::vector<TableColumn> SummaryTableColumns(const SweepGrid& grid) {
  std::vector<TableColumn> columns = GridColumns(grid);
  columns.push_back(Count("point", ColumnRole::Point));
  if (grid.Cycles() > 0) columns.push_back(Count("cycle", ColumnRole::Cycle));
  columns.insert(columns.end(), {Count("realizations"), Count("failed")});
  for (const WrittenReadout& readout : WrittenReadouts()) {
    for (const char* what : {"_mean", "_sd", "_se"})
      columns.push_back({readout.id + std::string(what), CellKind::Real});
    columns.push_back(Count(readout.id + std::string("_n")));
  }
  return columns;
}

std::vector<std::string> RunsColumns(const SweepGrid& grid) { return ColumnNames(RunsTableColumns(grid)); }
std::vector<std::string> SummaryColumns(const SweepGrid& grid) { return ColumnNames(SummaryTableColumns(grid)); }

void AddGridCells(Cells& cells, const SweepGrid& grid, std::size_t point) {
  std::size_t stride = grid.PointCount();
  for (const GridAxis& axis : grid.Axes()) {
    stride /= axis.texts.size();
    cells.emplace_back(std::string_view(axis.texts[point / stride % axis.texts.size()]));
  }
}

void RunsCells(Cells& cells, const SweepGrid& grid, const RunsLine& line) {
  const SweepRow& row = *line.row;
  cells.clear();
  AddGridCells(cells, grid, row.point);
  cells.insert(cells.end(), {std::uint64_t{row.point}, std::uint64_t{row.realization}});
  if (grid.Cycles() > 0) cells.emplace_back(line.cycle);
  cells.emplace_back(std::uint64_t{row.seedMs});
  for (const std::optional<double>& readout : *line.readouts) cells.emplace_back(readout);
  cells.insert(cells.end(),
               {std::int64_t{line.descendingSteps}, std::int64_t{line.ascendingSteps}, std::string_view(row.error)});
}

void SummaryCells(Cells& cells, const SweepGrid& grid, const PointKey& key, const PointStatistics& statistics) {
  cells.clear();
  AddGridCells(cells, grid, key.point);
  cells.emplace_back(std::uint64_t{key.point});
  if (grid.Cycles() > 0) cells.emplace_back(key.cycle);
  cells.insert(cells.end(), {statistics.realizations, statistics.failed});
  for (const ReadoutStatistics& s : statistics.readouts) {
    cells.insert(cells.end(),
                 {Statistic(s.Mean()), Statistic(s.StandardDeviation()), Statistic(s.StandardError()), s.count});
  }
}

void WriteRunsHeader(std::ostream& out, const SweepGrid& grid) { WriteCsvHeader(out, RunsTableColumns(grid)); }

void WriteRunsRow(std::ostream& out, const SweepGrid& grid, const SweepRow& row) {
  Cells cells;
  for (const RunsLine& line : RunsLines(grid, row)) {
    RunsCells(cells, grid, line);
    WriteCsvLine(out, cells);
  }
}

std::vector<std::string> ReadCsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t k = 0; k < line.size(); ++k) {
    const char c = line[k];
    if (quoted && c == '"' && k + 1 < line.size() && line[k + 1] == '"') {
      fields.back() += '"';
      ++k;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

namespace {

std::uint64_t WholeNumber(const std::string& text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty())
    throw std::invalid_argument("'" + text + "' is not a whole number");
  return value;
}

std::optional<double> ReadoutNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double x = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), x);
  const bool whole = stop == text.data() + text.size();
  // Beyond the double range: infinite, for the reader to refuse as such.
  if (error == std::errc::result_out_of_range && whole && std::isinf(std::strtod(text.c_str(), nullptr)))
    return std::strtod(text.c_str(), nullptr);
  if (error != std::errc() || !whole) throw std::invalid_argument("'" + text + "' is not a number");
  return x;
}

}  // namespace

SweepRow RunsRowOfCells(const Cells& cells, const SweepGrid& grid, std::uint64_t realizations,
                        const std::string& shown, std::uint64_t& cycle) {
  const std::size_t a = grid.Axes().size();
  const std::size_t c = grid.Cycles() > 0 ? 1 : 0;
  if (cells.size() != a + 3 + c + kWrittenReadoutCount + 3)
    throw std::invalid_argument("a row of another table: " + shown);
  SweepRow row;
  row.point = static_cast<std::size_t>(std::get<std::uint64_t>(cells[a]));
  row.realization = std::get<std::uint64_t>(cells[a + 1]);
  cycle = c ? std::get<std::uint64_t>(cells[a + 2]) : 0;
  if (row.point >= grid.PointCount() || row.realization >= realizations ||
      (c && (cycle < 1 || cycle > static_cast<std::uint64_t>(grid.Cycles()))))
    throw std::invalid_argument("a row outside the sweep: " + shown);
  row.index = row.point * realizations + row.realization;
  row.seedMs = static_cast<std::uint32_t>(std::get<std::uint64_t>(cells[a + 2 + c]));
  std::size_t k = a + 3 + c;
  for (std::optional<double>& readout : row.readouts) readout = std::get<std::optional<double>>(cells[k++]);
  row.descendingSteps = std::get<std::int64_t>(cells[k++]);
  row.ascendingSteps = std::get<std::int64_t>(cells[k++]);
  row.error = std::string(std::get<std::string_view>(cells[k]));
  if (c) row.cycles.push_back({row.readouts, row.descendingSteps, row.ascendingSteps});
  return row;
}

SweepRow ReadRunsRow(const std::string& line, const SweepGrid& grid, std::uint64_t realizations,
                     std::uint64_t& cycle) {
  const std::vector<std::string> fields = ReadCsvFields(line);
  const std::vector<TableColumn> columns = RunsTableColumns(grid);
  if (fields.size() != columns.size()) throw std::invalid_argument("a row of another table: " + line);
  Cells cells;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const std::string& field = fields[k];
    switch (columns[k].kind) {
      case CellKind::Text:
        cells.emplace_back(std::string_view(field));
        break;
      case CellKind::Count:
        cells.emplace_back(WholeNumber(field));
        break;
      case CellKind::Integer:
        cells.emplace_back(static_cast<std::int64_t>(WholeNumber(field)));
        break;
      case CellKind::Real:
        cells.emplace_back(ReadoutNumber(field));
        break;
    }
  }
  return RunsRowOfCells(cells, grid, realizations, line, cycle);
}

SweepSummary::SweepSummary(const SweepGrid& grid, std::ostream& out)
    : grid_(grid),
      csv_(std::in_place, out, SummaryTableColumns(grid)),
      sink_(*csv_),
      tally_([this](const PointKey& key, const PointStatistics& p) { WriteLine(key, p); }) {}

SweepSummary::SweepSummary(const SweepGrid& grid, TableSink& sink)
    : grid_(grid), sink_(sink), tally_([this](const PointKey& key, const PointStatistics& p) { WriteLine(key, p); }) {}

void SweepSummary::WriteLine(const PointKey& key, const PointStatistics& point) {
  ++written_;
  SummaryCells(cells_, grid_, key, point);
  sink_.Line(cells_);
}

}  // namespace ebsim
