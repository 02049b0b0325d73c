#include "batch/loop_tables.h"

#include <algorithm>
#include <ostream>

#include "base/available_memory.h"
#include "base/errors.h"
#include "base/round_trip_text.h"
#include "form/catalogue.h"
#include "form/field_numbers.h"
#include "run/large_lattice.h"
#include "run/simulator.h"

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
  for (const GridAxis& axis : grid_.Axes()) out_ << InputOf(axis.input).column << ',';
  out_ << "point,step,branch,H,M_mean,M_sd,M_se,n\n";
}

namespace {

// Calls `visit(k, count)` for the steps 0..length - 1 with the realisations
// so far that reached each.
template <class Visit>
void ForSteps(const std::map<std::size_t, std::uint64_t>& lengths, std::size_t length, Visit visit) {
  std::uint64_t reached = 0;
  for (const auto& entry : lengths) reached += entry.second;
  auto shorter = lengths.begin();
  for (std::size_t k = 0; k < length; ++k) {
    for (; shorter != lengths.end() && shorter->first <= k; ++shorter) reached -= shorter->second;
    visit(k, reached);
  }
}

}  // namespace

void LoopMeans::Add(const SweepRow& row) {
  if (point_ && *point_ != row.point) WritePoint();
  point_ = row.point;
  if (!row.error.empty()) return;
  if (row.loop.size() > H_.size()) Extend(row.loop);
  ForSteps(lengths_, row.loop.size(), [&](std::size_t k, std::uint64_t before) {
    ReadoutStatistics M{before, mean_[k], m2_[k]};
    M.Add(row.loop[k].M);
    mean_[k] = M.mean;
    m2_[k] = M.m2;
  });
  ++lengths_[row.loop.size()];
}

void LoopMeans::Extend(const std::vector<LoopPoint>& loop) {
  const std::size_t from = H_.size();
  H_.resize(loop.size());
  mean_.resize(loop.size());
  m2_.resize(loop.size());
  ascending_.resize(loop.size());
  for (std::size_t k = from; k < loop.size(); ++k) {
    H_[k] = loop[k].H;
    ascending_[k] = loop[k].branch == Branch::Ascending;
  }
}

LoopMeans::Step LoopMeans::StepAt(std::size_t k, std::uint64_t count) const {
  return {ascending_[k] ? Branch::Ascending : Branch::Descending, H_[k], ReadoutStatistics{count, mean_[k], m2_[k]}};
}

void LoopMeans::Finish() {
  if (point_) WritePoint();
  point_.reset();
}

void LoopMeans::WritePoint() {
  std::string values;
  for (const std::string& text : grid_.PointTexts(*point_)) values += CsvField(text) + ',';
  ForSteps(lengths_, H_.size(), [&](std::size_t k, std::uint64_t count) {
    const Step s = StepAt(k, count);
    out_ << values << *point_ << ',' << k << ',' << BranchName(s.branch) << ',' << ShortestText(s.H) << ','
         << Statistic(s.M.mean) << ',' << Statistic(s.M.StandardDeviation()) << ',' << Statistic(s.M.StandardError())
         << ',' << s.M.count << '\n';
    ++written_;
  });
  // The next point may be shorter: its memory is taken anew.
  H_ = {};
  mean_ = {};
  m2_ = {};
  ascending_ = {};
  lengths_.clear();
}

namespace {

// The largest of the grid's values of an input, by `measure`.
template <class Measure>
std::uint64_t Largest(const SweepGrid& grid, Input input, Measure measure) {
  HeadlessFields fields = grid.PointFields(0);
  std::uint64_t largest = measure(fields);
  for (const GridAxis& axis : grid.Axes()) {
    if (axis.input != input) continue;
    for (const std::string& text : axis.texts) {
      fields.Set(input, text);
      largest = std::max(largest, measure(fields));
    }
  }
  return largest;
}

}  // namespace

void CheckLoopsFit(const SweepPlan& plan, bool means) {
  const SweepGrid& grid = *plan.grid;
  const std::uint64_t steps = Largest(grid, Input::Steps, LoopStepBound);
  const std::uint64_t asked = Largest(grid, Input::Steps, [](const HeadlessFields& fields) -> std::uint64_t {
    try {
      return static_cast<std::uint64_t>(std::max(0, ReadIntegerField(fields, Input::Steps)));
    } catch (const Exception&) {
      return 0;
    }
  });
  const std::uint64_t lattice = Largest(grid, Input::Side, [&](const HeadlessFields& fields) {
    const std::optional<int> side = plan.largeSides ? LargeSide(fields) : std::nullopt;
    return side && *side > 0 ? LargeLatticeBytes(*side) : 0;
  });
  const long double needed = static_cast<long double>(steps) *
                                 (static_cast<long double>(RowWindow(plan)) * sizeof(LoopPoint) +
                                  (means ? LoopMeans::kBytesPerStep : 0)) +
                             static_cast<long double>(lattice) * SweepThreads(plan);
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  if (!available || needed <= *available) return;
  const std::uint64_t shown = needed < 0x1p63L ? static_cast<std::uint64_t>(needed) : ~std::uint64_t{0};
  throw EConvertError("Loops of " + std::to_string(asked) + " steps need about " + Megabytes(shown) +
                      " of memory; " + Megabytes(*available) + " are available");
}

}  // namespace ebsim
