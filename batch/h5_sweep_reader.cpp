#include <cmath>
#include <cstring>
#include <stdexcept>

#include "batch/h5_file.h"
#include "batch/h5_sweep_file.h"
#include "batch/h5_table.h"
#include "batch/sweep_output.h"
#include "form/field_numbers.h"

namespace ebsim {

struct H5SweepReader::Parts {
  std::string path;
  H5Handle file;
  Json metadata;
};

namespace {

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
  throw std::runtime_error("'" + path + "' " + why);
}

// A value column read whole: fixed-size elements as bytes, texts of any
// length as pointers the library allocated.
struct ColumnData {
  std::vector<unsigned char> bytes;
  std::vector<char*> texts;
  H5Handle type;
  H5Handle space;
  std::size_t width = 8;
  ~ColumnData() {
    if (!texts.empty()) H5Dvlen_reclaim(type.Id(), space.Id(), H5P_DEFAULT, texts.data());
  }
};

void ReadColumn(hid_t root, const TableColumn& column, hsize_t elements, ColumnData& data) {
  const H5Handle dataset = OpenDataset(root, column.name);
  data.space = H5Handle(H5Dget_space(dataset.Id()), H5Sclose, column.name);
  if (static_cast<hsize_t>(H5Sget_simple_extent_npoints(data.space.Id())) != elements)
    throw H5Error(column.name, "its size is not the sweep's");
  if (column.kind == CellKind::Text && !column.width) {
    data.type = TextType();
    data.texts.assign(elements, nullptr);
    H5Check(H5Dread(dataset.Id(), data.type.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, data.texts.data()), column.name);
    return;
  }
  data.width = column.kind == CellKind::Text ? column.width : 8;
  data.type = column.kind == CellKind::Text      ? FixedTextType(column.width)
              : column.kind == CellKind::Count   ? H5Handle(H5Tcopy(H5T_NATIVE_UINT64), H5Tclose, "type")
              : column.kind == CellKind::Integer ? H5Handle(H5Tcopy(H5T_NATIVE_INT64), H5Tclose, "type")
                                                 : H5Handle(H5Tcopy(H5T_NATIVE_DOUBLE), H5Tclose, "type");
  data.bytes.assign(elements * data.width, 0);
  H5Check(H5Dread(dataset.Id(), data.type.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, data.bytes.data()), column.name);
}

TableCell CellAt(const TableColumn& column, const ColumnData& data, hsize_t k) {
  const unsigned char* at = data.bytes.data() + k * data.width;
  switch (column.kind) {
    case CellKind::Text:
      if (!column.width) return std::string_view(data.texts[k] ? data.texts[k] : "");
      return std::string_view(reinterpret_cast<const char*>(at),
                              strnlen(reinterpret_cast<const char*>(at), data.width));
    case CellKind::Count: {
      std::uint64_t n;
      std::memcpy(&n, at, sizeof n);
      return n;
    }
    case CellKind::Integer: {
      std::int64_t n;
      std::memcpy(&n, at, sizeof n);
      return n;
    }
    case CellKind::Real:
      break;
  }
  double x;
  std::memcpy(&x, at, sizeof x);
  return std::isnan(x) ? std::nullopt : std::optional<double>(x);
}

hsize_t Offset(const std::vector<hsize_t>& at, const std::vector<hsize_t>& dims) {
  hsize_t offset = 0;
  for (std::size_t k = 0; k < dims.size(); ++k) offset = offset * dims[k] + at[k];
  return offset;
}

// The row's spins, when its realisation reached Hmin (a lattice without a
// site written reads as zeros).
void ReadSpins(hid_t spins, const SweepGrid& grid, std::vector<hsize_t> at, SweepRow& row) {
  const hsize_t side = static_cast<hsize_t>(ReadIntegerField(grid.PointFields(row.point), Input::Side));
  std::vector<hsize_t> count(at.size(), 1);
  at.insert(at.end(), {0, 0});
  count.insert(count.end(), {side, side});
  const H5Handle fileSpace(H5Dget_space(spins), H5Sclose, "spins");
  H5Check(H5Sselect_hyperslab(fileSpace.Id(), H5S_SELECT_SET, at.data(), nullptr, count.data(), nullptr), "spins");
  const hsize_t sites = side * side;
  const H5Handle memorySpace(H5Screate_simple(1, &sites, nullptr), H5Sclose, "spins");
  row.spins.assign(sites, 0);
  H5Check(H5Dread(spins, H5T_NATIVE_INT8, memorySpace.Id(), fileSpace.Id(), H5P_DEFAULT, row.spins.data()), "spins");
  if (row.spins.empty() || row.spins[0] == 0)
    row.spins.clear();
  else
    row.side = static_cast<int>(side);
}

}  // namespace

H5SweepReader::H5SweepReader(const std::string& path) : parts_(std::make_unique<Parts>()) {
  parts_->path = path;
  try {
    parts_->file = OpenH5File(path);
    const std::optional<std::string> metadata = TextAttribute(parts_->file.Id(), "metadata");
    if (!metadata) Refuse(path, "is not an HDF5 file of ebsim sweep (no metadata attribute)");
    parts_->metadata = Json::parse(*metadata, nullptr, false);
    if (!parts_->metadata.is_object() || !parts_->metadata.contains("sweep") || !parts_->metadata["sweep"].is_object())
      Refuse(path, "is not an HDF5 file of ebsim sweep (its metadata names no sweep)");
  } catch (const H5Error& bad) {
    Refuse(path, "cannot be read: " + bad.Reason());
  }
}

H5SweepReader::~H5SweepReader() = default;

const std::string& H5SweepReader::Path() const { return parts_->path; }
const Json& H5SweepReader::Metadata() const { return parts_->metadata; }
bool H5SweepReader::HasSpins() const { return HasLink(parts_->file.Id(), "spins"); }

std::uint64_t H5SweepReader::FinishedRows(const SweepPlan& plan, bool spins,
                                          const std::function<void(const SweepRow&)>& onRow) const {
  const SweepGrid& grid = *plan.grid;
  const std::vector<TableColumn> columns = RunsTableColumns(grid);
  const H5Layout layout(grid, columns, plan.realizations);
  std::vector<TableColumn> spinColumns = columns;
  std::erase_if(spinColumns, [](const TableColumn& column) { return column.role == ColumnRole::Cycle; });
  const H5Layout spinLayout(grid, spinColumns, plan.realizations);
  hsize_t elements = 1;
  for (const hsize_t length : layout.Dims()) elements *= length;
  const hid_t root = parts_->file.Id();
  std::vector<ColumnData> data(columns.size());
  std::vector<std::uint8_t> written(elements);
  H5Handle spinSet;
  try {
    for (std::size_t k = 0; k < columns.size(); ++k)
      if (columns[k].role == ColumnRole::Value) ReadColumn(root, columns[k], elements, data[k]);
    const H5Handle marks = OpenDataset(root, "written");
    if (DatasetDims(marks.Id()) != layout.Dims()) throw H5Error("written", "its size is not the sweep's");
    H5Check(H5Dread(marks.Id(), H5T_NATIVE_UINT8, H5S_ALL, H5S_ALL, H5P_DEFAULT, written.data()), "written");
    if (spins && HasSpins()) spinSet = OpenDataset(root, "spins");
  } catch (const H5Error& bad) {
    Refuse(parts_->path, std::string("does not hold this sweep's runs table (") + bad.what() + "): cannot resume");
  }
  std::uint64_t done = 0;
  Cells cells;
  std::vector<hsize_t> at;
  const int cycles = grid.LinesPerRow();
  for (; done < ShardItemCount(plan); ++done) {
    const std::uint64_t index = ShardItemIndex(plan, done);
    const std::size_t point = static_cast<std::size_t>(index / plan.realizations);
    const std::uint64_t r = index % plan.realizations;
    const std::string shown = "row " + std::to_string(index) + " of '" + parts_->path + "'";
    // A realisation is done when each of its cycles' lines is written.
    SweepRow row;
    bool whole = true;
    for (int c = 1; c <= cycles && whole; ++c) {
      at.clear();
      layout.Place(point, r, static_cast<std::uint64_t>(c), 0, at);
      const hsize_t offset = Offset(at, layout.Dims());
      whole = written[offset] != 0;
      if (!whole) break;
      cells.clear();
      AddGridCells(cells, grid, point);
      for (std::size_t k = grid.Axes().size(); k < columns.size(); ++k)
        cells.push_back(columns[k].role == ColumnRole::Point         ? TableCell(std::uint64_t{point})
                        : columns[k].role == ColumnRole::Realization ? TableCell(r)
                        : columns[k].role == ColumnRole::Cycle       ? TableCell(static_cast<std::uint64_t>(c))
                                                                     : CellAt(columns[k], data[k], offset));
      std::uint64_t cycle = 0;
      SweepRow line = RunsRowOfCells(cells, grid, plan.realizations, shown, cycle);
      bool finite = true;
      for (const auto& x : line.readouts) finite = finite && (!x || std::isfinite(*x));
      if (line.seedMs != RealizationSeed(plan.seedMs, r) || !finite)
        throw std::runtime_error(shown + " is not this sweep's: cannot resume");
      if (c == 1)
        row = std::move(line);
      else
        row.cycles.push_back(line.cycles.front());
    }
    if (!whole) break;
    try {
      at.clear();
      spinLayout.Place(point, r, 0, 0, at);
      if (spinSet) ReadSpins(spinSet.Id(), grid, at, row);
    } catch (const H5Error& bad) {
      Refuse(parts_->path, std::string("cannot be read: ") + bad.what());
    }
    onRow(row);
  }
  return done;
}

}  // namespace ebsim
