#include "batch/h5_sweep_file.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "base/errors.h"
#include "base/json_text.h"
#include "base/output_file.h"
#include "base/temporary_output.h"
#include "batch/h5_file.h"
#include "batch/h5_table.h"
#include "batch/loop_tables.h"
#include "batch/sweep_output.h"
#include "form/catalogue.h"
#include "form/field_numbers.h"

namespace ebsim {

namespace {

constexpr hsize_t kSpinTile = 256;
constexpr int kSpinDeflate = 1;

// The number the Run reads an axis's text as; NaN for one it cannot read.
double AxisValue(const InputEntry& input, const std::string& text, const DecimalSeparator& separator) {
  try {
    return input.integer ? ReadIntegerField(text) : static_cast<double>(ReadRealField(text, separator));
  } catch (const Exception&) {
    return std::numeric_limits<double>::quiet_NaN();
  }
}

void WriteWhole(hid_t dataset, hid_t type, const void* data, const std::string& what) {
  H5Check(H5Dwrite(dataset, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data), what);
}

// A grid axis as a coordinate: a dimension of its own for more than one
// text, a scalar otherwise.
H5Handle AxisCoordinate(hid_t group, const SweepGrid& grid, const GridAxis& axis) {
  const InputEntry& input = InputOf(axis.input);
  std::vector<double> reals;
  for (const std::string& text : axis.texts) reals.push_back(AxisValue(input, text, grid.Separator()));
  const bool integer =
      input.integer && std::all_of(reals.begin(), reals.end(), [](double x) { return std::isfinite(x); });
  std::vector<std::int64_t> integers(reals.begin(), reals.end());
  if (!integer) integers.clear();
  DatasetShape shape;
  if (axis.texts.size() > 1) shape.dims = {axis.texts.size()};
  const hid_t type = integer ? H5T_NATIVE_INT64 : H5T_NATIVE_DOUBLE;
  H5Handle dataset = CreateDataset(group, input.column, type, shape);
  WriteWhole(dataset.Id(), type, integer ? static_cast<const void*>(integers.data()) : reals.data(), input.column);
  if (axis.texts.size() > 1) MakeDimensionScale(dataset.Id(), input.column);
  SetAttribute(dataset.Id(), "texts", axis.texts);
  SetAttribute(dataset.Id(), "long_name", std::string(input.meaning));
  if (*input.unit) SetAttribute(dataset.Id(), "units", std::string(input.unit));
  return dataset;
}

// first, first + 1, ... as the coordinate of dimension `name`; `cut`: its
// length may shrink later.
H5Handle CountCoordinate(hid_t group, const std::string& name, hsize_t length, bool cut = false,
                         std::uint64_t first = 0) {
  DatasetShape shape{{length}, {}, {}, 0, false};
  if (cut) shape.chunk = {std::clamp<hsize_t>(length, 1, 1 << 16)};
  H5Handle dataset = CreateDataset(group, name, H5T_NATIVE_UINT64, shape);
  std::vector<std::uint64_t> values(length);
  for (hsize_t k = 0; k < length; ++k) values[k] = first + k;
  if (length) WriteWhole(dataset.Id(), H5T_NATIVE_UINT64, values.data(), name);
  MakeDimensionScale(dataset.Id(), name);
  return dataset;
}

// The coordinates of a group's arrays, their scales in the layout's order.
struct GroupCoordinates {
  std::vector<H5Handle> held;
  std::vector<hid_t> scales;
  std::string names;  // of the scalar coordinates, for the "coordinates" attribute
  hid_t step = -1;
};

GroupCoordinates MakeCoordinates(hid_t group, const SweepGrid& grid, const H5Layout& layout) {
  GroupCoordinates made;
  for (const GridAxis& axis : grid.Axes()) {
    made.held.push_back(AxisCoordinate(group, grid, axis));
    if (axis.texts.size() > 1)
      made.scales.push_back(made.held.back().Id());
    else
      made.names += std::string(made.names.empty() ? "" : " ") + InputOf(axis.input).column;
  }
  for (std::size_t k = layout.GridRank(); k < layout.Names().size(); ++k) {
    const bool step = layout.Names()[k] == "step";
    // Cycles count from 1, as the tables' cycle column does.
    const std::uint64_t first = layout.Names()[k] == "cycle" ? 1 : 0;
    made.held.push_back(CountCoordinate(group, layout.Names()[k], layout.Dims()[k], step, first));
    made.scales.push_back(made.held.back().Id());
    if (step) made.step = made.held.back().Id();
  }
  // Each grid point's number, as the tables' "point" column gives it.
  const std::vector<hsize_t> gridDims(layout.Dims().begin(), layout.Dims().begin() + layout.GridRank());
  H5Handle point = CreateDataset(group, "point", H5T_NATIVE_UINT64, {gridDims, {}, {}, 0, false});
  std::vector<std::uint64_t> points(grid.PointCount());
  for (std::size_t k = 0; k < points.size(); ++k) points[k] = k;
  WriteWhole(point.Id(), H5T_NATIVE_UINT64, points.data(), "point");
  for (std::size_t k = 0; k < layout.GridRank(); ++k)
    AttachDimension(point.Id(), made.scales[k], static_cast<unsigned>(k));
  if (!made.names.empty()) SetAttribute(point.Id(), "coordinates", made.names);
  made.names += std::string(made.names.empty() ? "" : " ") + "point";
  made.held.push_back(std::move(point));
  return made;
}

// The most field steps of a loop at any point of the grid.
hsize_t LongestLoop(const SweepGrid& grid, const ModelOptions& model) {
  std::uint64_t longest = 1;
  for (std::size_t k = 0; k < grid.PointCount(); ++k)
    longest = std::max(longest, ProtocolStepBound(grid.PointFields(k), model));
  return longest;
}

int LargestSide(const SweepGrid& grid) {
  int largest = 1;
  for (const GridAxis& axis : grid.Axes())
    if (axis.input == Input::Side)
      for (const std::string& text : axis.texts)
        if (const double side = AxisValue(InputOf(Input::Side), text, grid.Separator()); side > largest)
          largest = static_cast<int>(side);
  return largest;
}

// The texts and whole numbers of a metadata object as attributes, each
// named by its key after `prefix`.
void SetScalars(hid_t root, const Json& object, const std::string& prefix) {
  for (const auto& [key, value] : object.items()) {
    if (value.is_string()) SetAttribute(root, prefix + key, value.get<std::string>());
    if (value.is_number_unsigned()) SetAttribute(root, prefix + key, value.get<std::int64_t>());
  }
}

// The metadata line of the CSV files, whole and in parts: the run's or
// sweep's own keys, the sweep's identity, a run's inputs as input_<name>.
void SetProvenance(hid_t root, const Json& metadata) {
  SetAttribute(root, "metadata", JsonText(metadata));
  SetScalars(root, metadata, "");
  if (metadata.contains("command"))
    SetAttribute(root, "command", metadata.at("command").get<std::vector<std::string>>());
  if (metadata.contains("sweep")) SetScalars(root, metadata.at("sweep"), "");
  if (metadata.contains("inputs")) SetScalars(root, metadata.at("inputs"), "input_");
  SetAttribute(root, "complete", std::int64_t{0});
  SetAttribute(root, "rows_written", std::int64_t{0});
}

}  // namespace

struct H5SweepFile::Parts {
  TemporaryOutput output;
  H5Handle file;
  const SweepPlan plan;
  bool good = true;
  // The tables, each with its coordinates.
  GroupCoordinates runsAxes, summaryAxes, loopsAxes, meansAxes;
  std::optional<H5Table> runs, summaryLines, loops, meanLines;
  std::optional<SweepSummary> summary;
  std::optional<LoopMeans> means;
  H5Handle spinRows, spinColumns, spins;
  std::optional<H5Layout> spinLayout;
  std::vector<H5Handle> groups;

  Parts(const std::string& path, const SweepPlan& p) : output(path), file(CreateH5File(output.WritePath())), plan(p) {}
  [[noreturn]] void Fail(const H5Error& bad) {
    good = false;
    throw OutputError("cannot write '" + output.Path() + "': " + bad.Reason());
  }
  hid_t Group(const std::string& name) {
    groups.push_back(CreateGroup(file.Id(), name));
    return groups.back().Id();
  }
  void MakeTable(hid_t group, const std::vector<TableColumn>& columns, hsize_t steps, GroupCoordinates& axes,
                 std::optional<H5Table>& table) {
    H5Layout layout(*plan.grid, columns, plan.realizations, steps);
    axes = MakeCoordinates(group, *plan.grid, layout);
    table.emplace(group, columns, layout, axes.scales, axes.names);
  }
  void MakeSpins();
  void WriteSpins(const SweepRow& row);
  // Closes every object of the file but the file.
  void Release() {
    summary.reset();
    means.reset();
    for (auto* table : {&runs, &summaryLines, &loops, &meanLines}) table->reset();
    spins = {};
    spinRows = {};
    spinColumns = {};
    for (auto* axes : {&runsAxes, &summaryAxes, &loopsAxes, &meansAxes}) *axes = {};
    groups.clear();
  }
};

void H5SweepFile::Parts::MakeSpins() {
  const hsize_t side = static_cast<hsize_t>(LargestSide(*plan.grid));
  spinRows = CountCoordinate(file.Id(), "row", side);
  spinColumns = CountCoordinate(file.Id(), "column", side);
  // The spins at Hmin are cycle 1's: the runs table's dimensions but its cycle.
  std::vector<TableColumn> columns = RunsTableColumns(*plan.grid);
  const H5Layout runsLayout(*plan.grid, columns, plan.realizations);
  std::erase_if(columns, [](const TableColumn& column) { return column.role == ColumnRole::Cycle; });
  spinLayout.emplace(*plan.grid, columns, plan.realizations);
  std::vector<hsize_t> dims = spinLayout->Dims();
  dims.insert(dims.end(), {side, side});
  std::vector<hsize_t> chunk(dims.size(), 1);
  chunk[dims.size() - 2] = chunk[dims.size() - 1] = std::min(side, kSpinTile);
  const std::int8_t none = 0;
  spins = CreateDataset(file.Id(), "spins", H5T_NATIVE_INT8, {dims, {}, chunk, kSpinDeflate, false}, &none);
  std::vector<hid_t> scales;
  for (std::size_t k = 0; k < runsLayout.Names().size(); ++k)
    if (runsLayout.Names()[k] != "cycle") scales.push_back(runsAxes.scales[k]);
  scales.insert(scales.end(), {spinRows.Id(), spinColumns.Id()});
  for (std::size_t k = 0; k < scales.size(); ++k) AttachDimension(spins.Id(), scales[k], static_cast<unsigned>(k));
  SetAttribute(spins.Id(), "coordinates", runsAxes.names);
  SetAttribute(spins.Id(), "long_name", std::string("spins at Hmin: -1 or +1; 0 beyond the side of the row's lattice"));
}

void H5SweepFile::Parts::WriteSpins(const SweepRow& row) {
  if (row.spins.empty()) return;
  std::vector<hsize_t> start;
  spinLayout->Place(row.point, row.realization, 0, 0, start);
  std::vector<hsize_t> count(start.size(), 1);
  const hsize_t side = static_cast<hsize_t>(row.side);
  start.insert(start.end(), {0, 0});
  count.insert(count.end(), {side, side});
  const H5Handle fileSpace(H5Dget_space(spins.Id()), H5Sclose, "spins");
  H5Check(H5Sselect_hyperslab(fileSpace.Id(), H5S_SELECT_SET, start.data(), nullptr, count.data(), nullptr), "spins");
  const hsize_t sites = side * side;
  const H5Handle memorySpace(H5Screate_simple(1, &sites, nullptr), H5Sclose, "spins");
  H5Check(H5Dwrite(spins.Id(), H5T_NATIVE_INT8, memorySpace.Id(), fileSpace.Id(), H5P_DEFAULT, row.spins.data()),
          "cannot write");
}

H5SweepFile::H5SweepFile(const std::string& path, const SweepPlan& plan, const H5Contents& contents,
                         const Json& metadata) {
  try {
    parts_ = std::make_unique<Parts>(path, plan);
  } catch (const H5Error& bad) {
    throw OutputError("cannot write '" + path + "': " + bad.Reason());
  }
  Parts& p = *parts_;
  try {
    const SweepGrid& grid = *plan.grid;
    SetProvenance(p.file.Id(), metadata);
    p.MakeTable(p.file.Id(), RunsTableColumns(grid), 0, p.runsAxes, p.runs);
    p.MakeTable(p.Group("summary"), SummaryTableColumns(grid), 0, p.summaryAxes, p.summaryLines);
    p.summary.emplace(grid, *p.summaryLines);
    const hsize_t steps = contents.loops || contents.loopMeans ? LongestLoop(grid, plan.model) : 0;
    if (contents.loops) p.MakeTable(p.Group("loops"), LoopsTableColumns(plan.model.Extended()), steps, p.loopsAxes, p.loops);
    if (contents.loopMeans) {
      p.MakeTable(p.Group("loop_mean"), LoopMeansTableColumns(grid), steps, p.meansAxes, p.meanLines);
      p.means.emplace(grid, *p.meanLines);
    }
    if (contents.spins) p.MakeSpins();
  } catch (const H5Error& bad) {
    p.Fail(bad);
  }
}

H5SweepFile::~H5SweepFile() = default;

const std::string& H5SweepFile::Path() const { return parts_->output.Path(); }

bool H5SweepFile::Good() const { return parts_->good; }

void H5SweepFile::Add(const SweepRow& row) {
  Parts& p = *parts_;
  if (!p.good) throw OutputError("cannot write '" + p.output.Path() + "': an earlier write failed");
  try {
    if (p.spins) p.WriteSpins(row);
    Cells cells;
    for (const RunsLine& line : RunsLines(*p.plan.grid, row)) {
      RunsCells(cells, *p.plan.grid, line);
      p.runs->Line(cells);
    }
    p.summary->Add(row);
    if (p.loops) WriteLoopsRows(*p.loops, row, p.plan.model.Extended());
    if (p.means) p.means->Add(row);
  } catch (const H5Error& bad) {
    p.Fail(bad);
  }
}

void H5SweepFile::Finish(std::uint64_t rows, bool complete) {
  Parts& p = *parts_;
  if (!p.good) return;  // never put in place
  try {
    p.summary->Finish();
    if (p.means) p.means->Finish();
    for (auto* table : {&p.runs, &p.summaryLines, &p.loops, &p.meanLines})
      if (*table) (*table)->Flush();
    // The step dimension as long as the longest loop.
    for (auto [table, axes] : {std::pair{&p.loops, &p.loopsAxes}, std::pair{&p.meanLines, &p.meansAxes}}) {
      if (!*table || (*table)->StepsSeen() == 0) continue;
      const hsize_t steps = (*table)->StepsSeen();
      (*table)->CutSteps(steps);
      H5Check(H5Dset_extent(axes->step, &steps), "cutting the steps");
    }
    const hid_t root = p.file.Id();
    SetAttribute(root, "end", UtcTimeText(std::chrono::system_clock::now()));
    SetAttribute(root, "rows_written", static_cast<std::int64_t>(rows));
    SetAttribute(root, "complete", std::int64_t{complete ? 1 : 0});
    p.Release();
    p.file.CloseChecked("cannot write");
  } catch (const H5Error& bad) {
    p.Fail(bad);
  }
}

void H5SweepFile::Commit() {
  if (parts_->file) throw OutputError("cannot write '" + Path() + "': the file was not finished");
  parts_->output.Commit();
}

std::vector<std::string> H5SweepFile::RemoveStaleTemporaries() const { return parts_->output.RemoveStaleTemporaries(); }

}  // namespace ebsim
