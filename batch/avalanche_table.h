#pragma once
// A sweep's avalanche-size table (--avalanches): for each grid point the
// avalanches of all its adiabatic realisations, counted per branch in bins
// of powers of two, one line per bin, written as the rows come in index
// order (only the open point is held).

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <vector>

#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"
#include "batch/table_columns.h"

namespace ebsim {

// The table's columns: the grid's, point, branch, size_min, size_max, count.
std::vector<TableColumn> AvalancheTableColumns(const SweepGrid& grid);

class AvalancheTable {
 public:
  // Writes the header: the grid's columns, point, branch, size_min,
  // size_max, count.
  AvalancheTable(const SweepGrid& grid, std::ostream& out);
  void Add(const SweepRow& row);
  // Writes the point still open.
  void Finish();
  std::uint64_t LinesWritten() const { return written_; }

 private:
  void WritePoint();
  const SweepGrid& grid_;
  std::ostream& out_;
  std::optional<std::size_t> point_;
  AvalancheSizes sizes_;
  std::uint64_t written_ = 0;
};

}  // namespace ebsim
