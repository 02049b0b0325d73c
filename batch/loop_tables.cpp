#include "batch/loop_tables.h"

#include <ostream>

#include "base/round_trip_text.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

// Reckoned in extended precision, rounded to double once, here.
std::string Statistic(const std::optional<long double>& x) { return x ? ShortestText(static_cast<double>(*x)) : ""; }

}  // namespace

void WriteLoopsHeader(std::ostream& out) { out << "point,realization,step,branch,H,M\n"; }

std::uint64_t WriteLoopsRows(std::ostream& out, const SweepRow& row) {
  for (std::size_t k = 0; k < row.loop.size(); ++k) {
    const LoopPoint& p = row.loop[k];
    out << row.point << ',' << row.realization << ',' << k << ',' << BranchName(p.branch) << ','
        << ShortestText(p.H) << ',' << ShortestText(p.M) << '\n';
  }
  return row.loop.size();
}

LoopMeans::LoopMeans(const SweepGrid& grid, std::ostream& out) : grid_(grid), out_(out) {
  for (const GridAxis& axis : grid_.Axes()) out_ << InputOf(axis.field).column << ',';
  out_ << "point,step,branch,H,M_mean,M_sd,M_se,n\n";
}

void LoopMeans::Add(const SweepRow& row) {
  if (point_ && *point_ != row.point) WritePoint();
  point_ = row.point;
  if (!row.error.empty()) return;
  for (std::size_t k = 0; k < row.loop.size(); ++k) {
    if (k == steps_.size()) steps_.push_back({row.loop[k].branch, row.loop[k].H, {}});
    steps_[k].M.Add(row.loop[k].M);
  }
}

void LoopMeans::Finish() {
  if (point_) WritePoint();
  point_.reset();
}

void LoopMeans::WritePoint() {
  std::string values;
  for (const std::string& text : grid_.PointTexts(*point_)) values += CsvField(text) + ',';
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    const Step& s = steps_[k];
    out_ << values << *point_ << ',' << k << ',' << BranchName(s.branch) << ',' << ShortestText(s.H) << ','
         << Statistic(s.M.mean) << ',' << Statistic(s.M.StandardDeviation()) << ',' << Statistic(s.M.StandardError())
         << ',' << s.M.count << '\n';
    ++written_;
  }
  steps_.clear();
}

}  // namespace ebsim
