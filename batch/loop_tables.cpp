#include "batch/loop_tables.h"

#include <algorithm>
#include <ostream>

#include "base/available_memory.h"
#include "base/errors.h"
#include "base/round_trip_text.h"
#include "form/catalogue.h"
#include "form/field_numbers.h"
#include "form/field_parameters.h"
#include "run/engine_choice.h"
#include "run/large_lattice.h"
#include "run/simulator.h"

namespace ebsim {

namespace {

// Reckoned in extended precision, rounded to double once, here.
std::optional<double> Statistic(const std::optional<long double>& x) {
  return x ? std::optional<double>(static_cast<double>(*x)) : std::nullopt;
}

constexpr std::size_t kBranchWidth = 4;  // "down"

}  // namespace

std::vector<TableColumn> LoopsTableColumns(bool extended) {
  std::vector<TableColumn> columns = {{"point", CellKind::Count, ColumnRole::Point},
                                      {"realization", CellKind::Count, ColumnRole::Realization},
                                      {"step", CellKind::Count, ColumnRole::Step},
                                      {"branch", CellKind::Text, ColumnRole::Value, kBranchWidth},
                                      {"H", CellKind::Real},
                                      {"M", CellKind::Real}};
  if (extended) columns.insert(columns.end(), {{"flips", CellKind::Count}, {"cycle", CellKind::Count}});
  return columns;
}

std::vector<TableColumn> LoopMeansTableColumns(const SweepGrid& grid) {
  std::vector<TableColumn> columns;
  for (const GridAxis& axis : grid.Axes())
    columns.push_back({InputOf(axis.input).column, CellKind::Text, ColumnRole::Axis});
  columns.insert(columns.end(), {{"point", CellKind::Count, ColumnRole::Point},
                                 {"step", CellKind::Count, ColumnRole::Step},
                                 {"branch", CellKind::Text, ColumnRole::Value, kBranchWidth},
                                 {"H", CellKind::Real},
                                 {"M_mean", CellKind::Real},
                                 {"M_sd", CellKind::Real},
                                 {"M_se", CellKind::Real},
                                 {"n", CellKind::Count}});
  return columns;
}

void WriteLoopsHeader(std::ostream& out, bool extended) { WriteCsvHeader(out, LoopsTableColumns(extended)); }

std::uint64_t WriteLoopsRows(TableSink& sink, const SweepRow& row, bool extended) {
  Cells cells;
  for (std::size_t k = 0; k < row.loop.size(); ++k) {
    const LoopPoint& p = row.loop[k];
    cells.assign({std::uint64_t{row.point}, row.realization, std::uint64_t{k}, std::string_view(BranchName(p.branch)),
                  std::optional<double>(p.H), std::optional<double>(p.M)});
    if (extended) cells.insert(cells.end(), {static_cast<std::uint64_t>(p.flips), static_cast<std::uint64_t>(p.cycle)});
    sink.Line(cells);
  }
  return row.loop.size();
}

namespace {

// Writes each line to the stream as it comes.
class CsvLines final : public TableSink {
 public:
  explicit CsvLines(std::ostream& out) : out_(out) {}
  void Line(const Cells& cells) override { WriteCsvLine(out_, cells); }

 private:
  std::ostream& out_;
};

}  // namespace

std::uint64_t WriteLoopsRows(std::ostream& out, const SweepRow& row, bool extended) {
  CsvLines lines(out);
  return WriteLoopsRows(lines, row, extended);
}

LoopMeans::LoopMeans(const SweepGrid& grid, std::ostream& out)
    : grid_(grid), csv_(std::in_place, out, LoopMeansTableColumns(grid)), sink_(*csv_) {}

LoopMeans::LoopMeans(const SweepGrid& grid, TableSink& sink) : grid_(grid), sink_(sink) {}

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
  ForSteps(lengths_, H_.size(), [&](std::size_t k, std::uint64_t count) {
    const Step s = StepAt(k, count);
    cells_.clear();
    AddGridCells(cells_, grid_, *point_);
    cells_.insert(cells_.end(), {std::uint64_t{*point_}, std::uint64_t{k}, std::string_view(BranchName(s.branch)),
                                 std::optional<double>(s.H), Statistic(s.M.mean), Statistic(s.M.StandardDeviation()),
                                 Statistic(s.M.StandardError()), s.M.count});
    sink_.Line(cells_);
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
  const std::uint64_t steps = Largest(grid, Input::Steps, [&](const HeadlessFields& fields) {
    return ProtocolStepBound(fields, plan.model);
  });
  const std::uint64_t asked = Largest(grid, Input::Steps, [](const HeadlessFields& fields) -> std::uint64_t {
    try {
      return static_cast<std::uint64_t>(std::max(0, ReadIntegerField(fields, Input::Steps)));
    } catch (const Exception&) {
      return 0;
    }
  });
  const std::uint64_t lattice = Largest(grid, Input::Side, [&](const HeadlessFields& fields) {
    const std::optional<int> side = plan.largeSides ? LargeSide(fields) : std::nullopt;
    return side && *side > 0 ? LargeLatticeBytes(*side, ChosenEngine(plan.model, FieldParameters(fields), *side,
                                                                      static_cast<int>(plan.innerThreads)))
                             : 0;
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
