#include "batch/sweep_output.h"

#include <charconv>
#include <cmath>
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

void WriteGridColumns(std::ostream& out, const SweepGrid& grid) {
  for (const GridAxis& axis : grid.Axes()) out << InputOf(axis.field).column << ',';
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

void WriteRunsHeader(std::ostream& out, const SweepGrid& grid) {
  WriteGridColumns(out, grid);
  out << "point,realization,seed_ms";
  for (const ReadoutEntry& name : Readouts()) out << ',' << name.id;
  out << ",steps_descending,steps_ascending,error\n";
}

void WriteRunsRow(std::ostream& out, const SweepGrid& grid, const SweepRow& row) {
  WriteGridValues(out, grid, row.point);
  out << row.point << ',' << row.realization << ',' << row.seedMs;
  for (const ReadoutEntry& name : Readouts())
    out << ',' << Number(row.readouts[static_cast<std::size_t>(name.field)]);
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
  if (error != std::errc() || stop != text.data() + text.size())
    throw std::invalid_argument("'" + text + "' is not a number");
  return x;
}

}  // namespace

SweepRow ReadRunsRow(const std::string& line, const SweepGrid& grid, std::uint64_t realizations) {
  const std::vector<std::string> fields = ReadCsvFields(line);
  const std::size_t a = grid.Axes().size();
  if (fields.size() != a + 3 + kReadoutCount + 3) throw std::invalid_argument("a row of another table: " + line);
  SweepRow row;
  row.point = static_cast<std::size_t>(WholeNumber(fields[a]));
  row.realization = WholeNumber(fields[a + 1]);
  if (row.point >= grid.PointCount() || row.realization >= realizations)
    throw std::invalid_argument("a row outside the sweep: " + line);
  row.index = row.point * realizations + row.realization;
  row.seedMs = static_cast<std::uint32_t>(WholeNumber(fields[a + 2]));
  std::size_t k = a + 3;
  for (const ReadoutEntry& name : Readouts()) row.readouts[static_cast<std::size_t>(name.field)] = ReadoutNumber(fields[k++]);
  row.descendingSteps = static_cast<std::int64_t>(WholeNumber(fields[k++]));
  row.ascendingSteps = static_cast<std::int64_t>(WholeNumber(fields[k++]));
  row.error = fields[k];
  return row;
}

void ReadoutStatistics::Add(long double x) {
  ++count;
  const long double delta = x - mean;
  mean += delta / static_cast<long double>(count);
  m2 += delta * (x - mean);
}

std::optional<long double> ReadoutStatistics::StandardDeviation() const {
  if (count < 2) return std::nullopt;
  return std::sqrt(m2 / static_cast<long double>(count - 1));
}

std::optional<long double> ReadoutStatistics::StandardError() const {
  const auto sd = StandardDeviation();
  if (!sd) return std::nullopt;
  return *sd / std::sqrt(static_cast<long double>(count));
}

SweepSummary::SweepSummary(const SweepGrid& grid, std::ostream& out) : grid_(grid), out_(out) {
  WriteGridColumns(out_, grid_);
  out_ << "point,realizations,failed";
  for (const ReadoutEntry& name : Readouts())
    for (const char* what : {"_mean", "_sd", "_se", "_n"}) out_ << ',' << name.id << what;
  out_ << '\n';
}

void SweepSummary::Add(const SweepRow& row) {
  while (!open_.empty() && open_.begin()->first < row.point) {
    WriteLine(open_.begin()->first, open_.begin()->second);
    open_.erase(open_.begin());
  }
  Point& point = open_[row.point];
  ++point.realizations;
  if (!row.error.empty()) {
    ++point.failed;
    return;
  }
  for (std::size_t k = 0; k < kReadoutCount; ++k)
    if (row.readouts[k]) point.readouts[k].Add(*row.readouts[k]);
}

void SweepSummary::Finish() {
  for (const auto& [index, point] : open_) WriteLine(index, point);
  open_.clear();
}

void SweepSummary::WriteLine(std::size_t index, const Point& point) {
  ++written_;
  WriteGridValues(out_, grid_, index);
  out_ << index << ',' << point.realizations << ',' << point.failed;
  for (const ReadoutEntry& name : Readouts()) {
    const ReadoutStatistics& s = point.readouts[static_cast<std::size_t>(name.field)];
    const std::optional<long double> mean = s.count ? std::optional(s.mean) : std::nullopt;
    out_ << ',' << Statistic(mean) << ',' << Statistic(s.StandardDeviation()) << ',' << Statistic(s.StandardError())
         << ',' << s.count;
  }
  out_ << '\n';
}

}  // namespace ebsim
