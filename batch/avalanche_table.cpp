#include "batch/avalanche_table.h"

#include <ostream>

#include "batch/sweep_output.h"
#include "run/loop_csv.h"
#include "form/catalogue.h"

namespace ebsim {

std::vector<TableColumn> AvalancheTableColumns(const SweepGrid& grid) {
  std::vector<TableColumn> columns;
  for (const GridAxis& axis : grid.Axes()) columns.push_back({InputOf(axis.input).column, CellKind::Text});
  columns.insert(columns.end(), {{"point", CellKind::Count},
                                 {"branch", CellKind::Text},
                                 {"size_min", CellKind::Integer},
                                 {"size_max", CellKind::Integer},
                                 {"count", CellKind::Integer}});
  return columns;
}

AvalancheTable::AvalancheTable(const SweepGrid& grid, std::ostream& out) : grid_(grid), out_(out) {
  WriteCsvHeader(out_, AvalancheTableColumns(grid));
}

void AvalancheTable::Add(const SweepRow& row) {
  if (point_ && *point_ != row.point) WritePoint();
  point_ = row.point;
  sizes_.Merge(row.avalanches);
}

void AvalancheTable::Finish() {
  if (point_) WritePoint();
  point_.reset();
}

void AvalancheTable::WritePoint() {
  Cells cells;
  for (const SizeBin& bin : sizes_.Bins()) {
    cells.clear();
    AddGridCells(cells, grid_, *point_);
    cells.insert(cells.end(), {std::uint64_t{*point_}, std::string_view(BranchName(bin.branch)), bin.least, bin.most, bin.count});
    WriteCsvLine(out_, cells);
    ++written_;
  }
  sizes_ = AvalancheSizes{};
}

}  // namespace ebsim
