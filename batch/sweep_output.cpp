#include "batch/sweep_output.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

#include "base/round_trip_text.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

std::string Number(const std::optional<double>& x) { return x ? ShortestText(*x) : ""; }
// Statistics are reckoned in extended precision and rounded to double once,
// here.
std::string Statistic(const std::optional<long double>& x) { return x ? ShortestText(static_cast<double>(*x)) : ""; }

std::vector<std::string> GridColumns(const SweepGrid& grid) {
  std::vector<std::string> names;
  for (const GridAxis& axis : grid.Axes()) names.push_back(InputOf(axis.input).column);
  return names;
}

void WriteColumns(std::ostream& out, const std::vector<std::string>& names) {
  for (std::size_t k = 0; k < names.size(); ++k) out << (k ? "," : "") << names[k];
  out << '\n';
}

void WriteGridValues(std::ostream& out, const SweepGrid& grid, std::size_t point) {
  for (const std::string& text : grid.PointTexts(point)) out << CsvField(text) << ',';
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::vector<std::string> RunsColumns(const SweepGrid& grid) {
  std::vector<std::string> names = GridColumns(grid);
  names.insert(names.end(), {"point", "realization", "seed_ms"});
  for (const ReadoutEntry& readout : Readouts()) names.push_back(readout.id);
  names.insert(names.end(), {"steps_descending", "steps_ascending", "error"});
  return names;
}

std::vector<std::string> SummaryColumns(const SweepGrid& grid) {
  std::vector<std::string> names = GridColumns(grid);
  names.insert(names.end(), {"point", "realizations", "failed"});
  for (const ReadoutEntry& readout : Readouts())
    for (const char* what : {"_mean", "_sd", "_se", "_n"}) names.push_back(readout.id + std::string(what));
  return names;
}

void WriteRunsHeader(std::ostream& out, const SweepGrid& grid) { WriteColumns(out, RunsColumns(grid)); }

void WriteRunsRow(std::ostream& out, const SweepGrid& grid, const SweepRow& row) {
  WriteGridValues(out, grid, row.point);
  out << row.point << ',' << row.realization << ',' << row.seedMs;
  for (const ReadoutEntry& name : Readouts())
    out << ',' << Number(row.readouts[static_cast<std::size_t>(name.quantity)]);
  out << ',' << row.descendingSteps << ',' << row.ascendingSteps << ',' << CsvField(row.error) << '\n';
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

SweepRow ReadRunsRow(const std::string& line, const SweepGrid& grid, std::uint64_t realizations) {
  const std::vector<std::string> fields = ReadCsvFields(line);
  const std::size_t a = grid.Axes().size();
  if (fields.size() != a + 3 + kQuantityCount + 3) throw std::invalid_argument("a row of another table: " + line);
  SweepRow row;
  row.point = static_cast<std::size_t>(WholeNumber(fields[a]));
  row.realization = WholeNumber(fields[a + 1]);
  if (row.point >= grid.PointCount() || row.realization >= realizations)
    throw std::invalid_argument("a row outside the sweep: " + line);
  row.index = row.point * realizations + row.realization;
  row.seedMs = static_cast<std::uint32_t>(WholeNumber(fields[a + 2]));
  std::size_t k = a + 3;
  for (const ReadoutEntry& name : Readouts()) row.readouts[static_cast<std::size_t>(name.quantity)] = ReadoutNumber(fields[k++]);
  row.descendingSteps = static_cast<std::int64_t>(WholeNumber(fields[k++]));
  row.ascendingSteps = static_cast<std::int64_t>(WholeNumber(fields[k++]));
  row.error = fields[k];
  return row;
}

SweepSummary::SweepSummary(const SweepGrid& grid, std::ostream& out)
    : grid_(grid), out_(out), tally_([this](std::size_t index, const PointStatistics& p) { WriteLine(index, p); }) {
  WriteColumns(out_, SummaryColumns(grid_));
}

void SweepSummary::WriteLine(std::size_t index, const PointStatistics& point) {
  ++written_;
  WriteGridValues(out_, grid_, index);
  out_ << index << ',' << point.realizations << ',' << point.failed;
  for (const ReadoutEntry& name : Readouts()) {
    const ReadoutStatistics& s = point.readouts[static_cast<std::size_t>(name.quantity)];
    out_ << ',' << Statistic(s.Mean()) << ',' << Statistic(s.StandardDeviation()) << ',' << Statistic(s.StandardError())
         << ',' << s.count;
  }
  out_ << '\n';
}

}  // namespace ebsim
