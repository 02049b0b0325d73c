#include "batch/h5_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "form/catalogue.h"

namespace ebsim {

namespace {

constexpr std::size_t kBufferedLines = 4096;
constexpr int kDeflate = 4;

int CellOf(const std::vector<TableColumn>& columns, ColumnRole role) {
  for (std::size_t k = 0; k < columns.size(); ++k)
    if (columns[k].role == role) return static_cast<int>(k);
  return -1;
}

std::uint64_t Whole(const TableCell& cell) {
  if (const auto* n = std::get_if<std::uint64_t>(&cell)) return *n;
  throw std::logic_error("a line placed by a cell that is not a count");
}

hid_t MemoryType(CellKind kind) {
  switch (kind) {
    case CellKind::Count:
      return H5T_NATIVE_UINT64;
    case CellKind::Integer:
      return H5T_NATIVE_INT64;
    case CellKind::Real:
      return H5T_NATIVE_DOUBLE;
    case CellKind::Text:
      break;
  }
  return -1;
}

std::size_t ElementBytes(const TableColumn& column) {
  return column.kind == CellKind::Text ? (column.width ? column.width : sizeof(char*)) : 8;
}

}  // namespace

H5Layout::H5Layout(const SweepGrid& grid, const std::vector<TableColumn>& columns, std::uint64_t realizations,
                   hsize_t steps)
    : pointCell_(CellOf(columns, ColumnRole::Point)),
      realizationCell_(CellOf(columns, ColumnRole::Realization)),
      cycleCell_(CellOf(columns, ColumnRole::Cycle)),
      stepCell_(CellOf(columns, ColumnRole::Step)) {
  for (const GridAxis& axis : grid.Axes()) {
    axisLengths_.push_back(axis.texts.size());
    axisKept_.push_back(axis.texts.size() > 1);
    if (axis.texts.size() > 1) {
      names_.push_back(InputOf(axis.input).column);
      dims_.push_back(axis.texts.size());
    }
  }
  gridRank_ = dims_.size();
  if (realizationCell_ >= 0) {
    names_.push_back("realization");
    dims_.push_back(realizations);
  }
  if (cycleCell_ >= 0) {
    names_.push_back("cycle");
    dims_.push_back(static_cast<hsize_t>(grid.Cycles()));
  }
  if (stepCell_ >= 0) {
    names_.push_back("step");
    dims_.push_back(steps);
  }
}

void H5Layout::Place(std::size_t point, std::uint64_t realization, std::uint64_t cycle, std::uint64_t step,
                     std::vector<hsize_t>& at) const {
  std::size_t stride = 1;
  for (const std::size_t length : axisLengths_) stride *= length;
  for (std::size_t a = 0; a < axisLengths_.size(); ++a) {
    stride /= axisLengths_[a];
    if (axisKept_[a]) at.push_back(point / stride % axisLengths_[a]);
  }
  if (realizationCell_ >= 0) at.push_back(realization);
  if (cycleCell_ >= 0) at.push_back(cycle - 1);
  if (stepCell_ >= 0) at.push_back(step);
}

void H5Layout::Place(const Cells& cells, std::vector<hsize_t>& at) const {
  const auto cell = [&](int k) { return k >= 0 ? Whole(cells[static_cast<std::size_t>(k)]) : 0; };
  Place(static_cast<std::size_t>(cell(pointCell_)), cell(realizationCell_), cell(cycleCell_), cell(stepCell_), at);
}

H5Table::H5Table(hid_t group, const std::vector<TableColumn>& columns, H5Layout layout,
                 const std::vector<hid_t>& scales, const std::string& coordinates)
    : layout_(std::move(layout)) {
  const std::vector<hsize_t>& dims = layout_.Dims();
  const auto make = [&](const std::string& name, hid_t type, std::size_t bytes, const void* fill, bool numeric) {
    DatasetShape shape{dims, {}, {}, kDeflate, numeric};
    if (!dims.empty()) shape.chunk = ChunkFor(dims, bytes);
    // The step dimension may be cut to the longest loop once the lines are in.
    if (!dims.empty()) shape.maxDims = dims;
    H5Handle dataset = CreateDataset(group, name, type, shape, fill);
    for (std::size_t k = 0; k < scales.size(); ++k) AttachDimension(dataset.Id(), scales[k], static_cast<unsigned>(k));
    if (!coordinates.empty()) SetAttribute(dataset.Id(), "coordinates", coordinates);
    return dataset;
  };
  for (std::size_t k = 0; k < columns.size(); ++k) {
    const TableColumn& column = columns[k];
    if (column.role != ColumnRole::Value) continue;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    H5Handle type = column.kind == CellKind::Text ? (column.width ? FixedTextType(column.width) : TextType())
                                                  : H5Handle(H5Tcopy(MemoryType(column.kind)), H5Tclose, "type");
    H5Handle dataset = make(column.name, type.Id(), ElementBytes(column),
                            column.kind == CellKind::Real ? &nan : nullptr, column.kind != CellKind::Text);
    // Blank reals and elements without a line read as NaN.
    if (column.kind == CellKind::Real) SetAttribute(dataset.Id(), "_FillValue", nan);
    if (column.kind == CellKind::Text && column.width) SetAttribute(dataset.Id(), "_Encoding", std::string("utf-8"));
    values_.push_back({std::move(dataset), column.kind, column.width, k, {}, {}});
  }
  written_ = make("written", H5T_NATIVE_UINT8, 1, nullptr, false);
  SetAttribute(written_.Id(), "long_name", std::string("1 where the table holds a line, 0 where none was written"));
}

void H5Table::Buffer(Values& values, const TableCell& cell) {
  if (KindOf(cell) != values.kind) throw std::logic_error("a cell of another kind than its column");
  if (values.kind == CellKind::Text && !values.width) {
    values.texts.emplace_back(std::get<std::string_view>(cell));
    return;
  }
  const std::size_t size = values.kind == CellKind::Text ? values.width : 8;
  const std::size_t from = values.bytes.size();
  values.bytes.resize(from + size, 0);
  unsigned char* to = values.bytes.data() + from;
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string_view>) {
          std::memcpy(to, x.data(), std::min(x.size(), size));
        } else if constexpr (std::is_same_v<T, std::optional<double>>) {
          const double y = x ? *x : std::numeric_limits<double>::quiet_NaN();
          std::memcpy(to, &y, sizeof y);
        } else {
          std::memcpy(to, &x, sizeof x);
        }
      },
      cell);
}

void H5Table::Line(const Cells& cells) {
  const std::size_t before = at_.size();
  layout_.Place(cells, at_);
  if (layout_.HasSteps()) stepsSeen_ = std::max<hsize_t>(stepsSeen_, at_.back() + 1);
  for (std::size_t k = 0; k < at_.size() - before; ++k)
    if (at_[before + k] >= layout_.Dims()[k]) {
      at_.resize(before);
      throw H5Error("cannot write", "a line beyond the table's arrays");
    }
  for (Values& values : values_) Buffer(values, cells[values.cell]);
  ++buffered_;
  ++lines_;
  if (buffered_ >= kBufferedLines || layout_.Dims().empty()) Flush();
}

void H5Table::Write(Values& values, hid_t fileSpace, hid_t memorySpace) {
  if (values.kind == CellKind::Text && !values.width) {
    std::vector<const char*> pointers;
    for (const std::string& text : values.texts) pointers.push_back(text.c_str());
    H5Check(H5Dwrite(values.dataset.Id(), TextType().Id(), memorySpace, fileSpace, H5P_DEFAULT, pointers.data()),
            "cannot write");
    values.texts.clear();
    return;
  }
  const H5Handle type = values.kind == CellKind::Text ? FixedTextType(values.width)
                                                      : H5Handle(H5Tcopy(MemoryType(values.kind)), H5Tclose, "type");
  H5Check(H5Dwrite(values.dataset.Id(), type.Id(), memorySpace, fileSpace, H5P_DEFAULT, values.bytes.data()),
          "cannot write");
  values.bytes.clear();
}

void H5Table::Flush() {
  if (buffered_ == 0) return;
  const std::vector<hsize_t>& dims = layout_.Dims();
  H5Handle fileSpace, memorySpace;
  if (!dims.empty()) {
    fileSpace = H5Handle(H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr), H5Sclose, "dataspace");
    H5Check(H5Sselect_elements(fileSpace.Id(), H5S_SELECT_SET, buffered_, at_.data()), "selection");
    const hsize_t count = buffered_;
    memorySpace = H5Handle(H5Screate_simple(1, &count, nullptr), H5Sclose, "dataspace");
  }
  const hid_t file = dims.empty() ? H5S_ALL : fileSpace.Id(), memory = dims.empty() ? H5S_ALL : memorySpace.Id();
  for (Values& values : values_) Write(values, file, memory);
  const std::vector<unsigned char> ones(buffered_, 1);
  H5Check(H5Dwrite(written_.Id(), H5T_NATIVE_UINT8, memory, file, H5P_DEFAULT, ones.data()), "cannot write");
  at_.clear();
  buffered_ = 0;
}

void H5Table::CutSteps(hsize_t steps) {
  Flush();
  std::vector<hsize_t> dims = layout_.Dims();
  if (!layout_.HasSteps()) return;
  dims.back() = steps;
  for (Values& values : values_) H5Check(H5Dset_extent(values.dataset.Id(), dims.data()), "cutting the steps");
  H5Check(H5Dset_extent(written_.Id(), dims.data()), "cutting the steps");
}

}  // namespace ebsim
