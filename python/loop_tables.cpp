#include "python/loop_tables.h"

#include <limits>

#include "run/loop_csv.h"

namespace ebsim {

namespace {

double Value(const std::optional<long double>& x) {
  return x ? static_cast<double>(*x) : std::numeric_limits<double>::quiet_NaN();
}

// "down" and "up" as an object column, as pandas reads them from a file.
py::object BranchColumn(const std::vector<bool>& ascending) {
  py::module_ numpy = py::module_::import("numpy");
  py::object column = numpy.attr("empty")(ascending.size(), py::arg("dtype") = "object");
  const py::str down(BranchName(Branch::Descending)), up(BranchName(Branch::Ascending));
  for (std::size_t k = 0; k < ascending.size(); ++k) column[py::int_(k)] = ascending[k] ? up : down;
  return column;
}

}  // namespace

// Each column twice (here and in the DataFrame); the branch an object pointer.
std::uint64_t LoopStepBytes() { return 2 * (3 * sizeof(std::int64_t) + 2 * sizeof(double) + sizeof(void*)); }

// The seven grid columns too, and the open point's accumulators.
std::uint64_t LoopMeanStepBytes() {
  return 2 * (3 * sizeof(std::int64_t) + 4 * sizeof(double) + sizeof(void*) + kInputCount * sizeof(double)) +
         sizeof(double) + sizeof(ReadoutStatistics) + 1;
}

void LoopsTable::Add(const SweepRow& row) {
  for (std::size_t k = 0; k < row.loop.size(); ++k) {
    point_.push_back(static_cast<std::int64_t>(row.point));
    realization_.push_back(static_cast<std::int64_t>(row.realization));
    step_.push_back(static_cast<std::int64_t>(k));
    ascending_.push_back(row.loop[k].branch == Branch::Ascending);
    H_.push_back(row.loop[k].H);
    M_.push_back(row.loop[k].M);
    if (!extended_) continue;
    flips_.push_back(row.loop[k].flips);
    cycle_.push_back(row.loop[k].cycle);
  }
}

py::object LoopsTable::Table() {
  Columns columns;
  columns["branch"] = BranchColumn(ascending_);
  ascending_ = {};
  columns["point"] = Column(std::move(point_));
  columns["realization"] = Column(std::move(realization_));
  columns["step"] = Column(std::move(step_));
  columns["H"] = Column(std::move(H_));
  columns["M"] = Column(std::move(M_));
  if (!extended_) return MakeTable(columns, {"point", "realization", "step", "branch", "H", "M"});
  columns["flips"] = Column(std::move(flips_));
  columns["cycle"] = Column(std::move(cycle_));
  return MakeTable(columns, {"point", "realization", "step", "branch", "H", "M", "flips", "cycle"});
}

void LoopMeanTable::Add(const SweepRow& row) {
  if (open_ && *open_ != row.point) ClosePoint();
  open_ = row.point;
  if (!row.error.empty()) return;
  for (std::size_t k = 0; k < row.loop.size(); ++k) {
    if (k == steps_.size()) steps_.push_back({row.loop[k].branch == Branch::Ascending, row.loop[k].H, {}});
    steps_[k].M.Add(row.loop[k].M);
  }
}

void LoopMeanTable::ClosePoint() {
  for (std::size_t k = 0; k < steps_.size(); ++k) {
    const Step& s = steps_[k];
    point_.push_back(static_cast<std::int64_t>(*open_));
    step_.push_back(static_cast<std::int64_t>(k));
    ascending_.push_back(s.ascending);
    H_.push_back(s.H);
    mean_.push_back(Value(s.M.Mean()));
    sd_.push_back(Value(s.M.StandardDeviation()));
    se_.push_back(Value(s.M.StandardError()));
    n_.push_back(static_cast<std::int64_t>(s.M.count));
  }
  steps_ = {};
  open_.reset();
}

py::object LoopMeanTable::Table() {
  if (open_) ClosePoint();
  Columns columns;
  AddGridColumns(columns, grid_, point_);
  std::vector<std::string> names;
  for (const GridAxis& axis : grid_.Axes()) names.push_back(InputOf(axis.input).column);
  columns["branch"] = BranchColumn(ascending_);
  ascending_ = {};
  columns["point"] = Column(std::move(point_));
  columns["step"] = Column(std::move(step_));
  columns["H"] = Column(std::move(H_));
  columns["M_mean"] = Column(std::move(mean_));
  columns["M_sd"] = Column(std::move(sd_));
  columns["M_se"] = Column(std::move(se_));
  columns["n"] = Column(std::move(n_));
  names.insert(names.end(), {"point", "step", "branch", "H", "M_mean", "M_sd", "M_se", "n"});
  return MakeTable(columns, names);
}

}  // namespace ebsim
