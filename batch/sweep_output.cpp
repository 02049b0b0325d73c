#include "batch/sweep_output.h"

#include <cmath>
#include <ostream>

#include "form/catalogue.h"
#include "sim/loop_csv.h"

namespace ebsim {

namespace {

std::string Number(const std::optional<long double>& x) { return x ? FullPrecisionText(*x) : ""; }
// Statistics are reported to double precision.
std::string Statistic(const std::optional<long double>& x) {
  return x ? FullPrecisionText(static_cast<double>(*x)) : "";
}

void WriteGridColumns(std::ostream& out, const SweepGrid& grid) {
  for (const GridAxis& axis : grid.Axes()) out << axis.option << ',';
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
  out << "realization,seed_ms";
  for (const ReadoutEntry& name : Readouts()) out << ',' << CsvField(name.caption);
  out << ",steps_descending,steps_ascending,error\n";
}

void WriteRunsRow(std::ostream& out, const SweepGrid& grid, const SweepRow& row) {
  WriteGridValues(out, grid, row.point);
  out << row.realization << ',' << row.seedMs;
  for (const ReadoutEntry& name : Readouts())
    out << ',' << Number(row.readouts[static_cast<std::size_t>(name.field)]);
  out << ',' << row.descendingSteps << ',' << row.ascendingSteps << ',' << CsvField(row.error) << '\n';
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
  out_ << "realizations,failed";
  for (const ReadoutEntry& name : Readouts())
    for (const char* what : {" mean", " sd", " se", " n"}) out_ << ',' << CsvField(name.caption + std::string(what));
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
  WriteGridValues(out_, grid_, index);
  out_ << point.realizations << ',' << point.failed;
  for (const ReadoutEntry& name : Readouts()) {
    const ReadoutStatistics& s = point.readouts[static_cast<std::size_t>(name.field)];
    const std::optional<long double> mean = s.count ? std::optional(s.mean) : std::nullopt;
    out_ << ',' << Statistic(mean) << ',' << Statistic(s.StandardDeviation()) << ',' << Statistic(s.StandardError())
         << ',' << s.count;
  }
  out_ << '\n';
}

}  // namespace ebsim
