#pragma once
// A table of a sweep in the HDF5 file as arrays over named dimensions: the
// grid's axes that take more than one text, then the realisation, the
// protocol's cycle and the loop's step where the table's lines have them. Each value column is a
// dataset over those dimensions, and "written" says which elements hold a
// line (1) and which none (0: not run, another shard's, after a stop).
// The lines come as the CSV writers get them; their point, realisation
// and step cells place them, so a column added to a table becomes one
// more dataset without a change here.

#include <cstdint>
#include <string>
#include <vector>

#include "batch/h5_file.h"
#include "batch/sweep_grid.h"
#include "batch/table_columns.h"

namespace ebsim {

// The dimensions of a table's arrays and where its lines go in them.
class H5Layout {
 public:
  // `steps`: the step dimension's length for a table with a Step column.
  H5Layout(const SweepGrid& grid, const std::vector<TableColumn>& columns, std::uint64_t realizations,
           hsize_t steps = 0);
  const std::vector<std::string>& Names() const { return names_; }
  const std::vector<hsize_t>& Dims() const { return dims_; }
  // Appends the element of the grid point (and realisation, cycle (from 1)
  // and step where the table has them) to `at`.
  void Place(std::size_t point, std::uint64_t realization, std::uint64_t cycle, std::uint64_t step,
             std::vector<hsize_t>& at) const;
  // The same from a line's cells.
  void Place(const Cells& cells, std::vector<hsize_t>& at) const;
  // The grid's dimensions alone (axes of more than one text).
  std::size_t GridRank() const { return gridRank_; }
  bool HasSteps() const { return stepCell_ >= 0; }

 private:
  std::vector<std::size_t> axisLengths_;
  std::vector<bool> axisKept_;
  std::vector<std::string> names_;
  std::vector<hsize_t> dims_;
  std::size_t gridRank_ = 0;
  int pointCell_ = -1, realizationCell_ = -1, cycleCell_ = -1, stepCell_ = -1;
};

class H5Table final : public TableSink {
 public:
  // Makes the datasets of the value columns in `group`, chunked and
  // compressed, each with its dimensions attached to `scales` (one per
  // dimension of the layout, in its order) and the `coordinates` attribute.
  H5Table(hid_t group, const std::vector<TableColumn>& columns, H5Layout layout, const std::vector<hid_t>& scales,
          const std::string& coordinates);
  // Buffers the line; a full buffer is written.
  void Line(const Cells& cells) override;
  // Writes what is buffered; throws H5Error.
  void Flush();
  std::uint64_t Lines() const { return lines_; }
  // The longest step seen plus one (0 without lines).
  hsize_t StepsSeen() const { return stepsSeen_; }
  // Cuts the step dimension (the last) to `steps`.
  void CutSteps(hsize_t steps);

 private:
  struct Values {
    H5Handle dataset;
    CellKind kind;
    std::size_t width;
    std::size_t cell;
    std::vector<unsigned char> bytes;  // fixed-size elements
    std::vector<std::string> texts;    // texts of any length
  };
  void Buffer(Values& values, const TableCell& cell);
  void Write(Values& values, hid_t fileSpace, hid_t memorySpace);

  H5Layout layout_;
  std::vector<Values> values_;
  H5Handle written_;
  std::vector<hsize_t> at_;  // the buffered lines' elements, rank each
  std::size_t buffered_ = 0;
  std::uint64_t lines_ = 0;
  hsize_t stepsSeen_ = 0;
};

}  // namespace ebsim
