#pragma once
// The loops of a sweep's realisations as tables: every realisation's loop
// row by row, and per grid point the loop averaged over its realisations
// with the standard error of M at every step.

#include <cstdint>
#include <iosfwd>
#include <map>
#include <vector>

#include "batch/sweep_grid.h"
#include "batch/sweep_output.h"
#include "batch/sweep_runner.h"
#include "batch/table_columns.h"

namespace ebsim {

// "point,realization,step,branch,H,M"; step counts from 0 over the loop.
// Extended (options beyond the window's): then ",flips,cycle".
std::vector<TableColumn> LoopsTableColumns(bool extended = false);
// The grid's columns, then "point,step,branch,H,M_mean,M_sd,M_se,n".
std::vector<TableColumn> LoopMeansTableColumns(const SweepGrid& grid);
void WriteLoopsHeader(std::ostream& out, bool extended = false);
// The row's loop, one line per field step; returns the lines written.
std::uint64_t WriteLoopsRows(std::ostream& out, const SweepRow& row, bool extended = false);
std::uint64_t WriteLoopsRows(TableSink& sink, const SweepRow& row, bool extended = false);

// The averaged loops, written as the rows come (in index order): a grid
// point's lines go out when a row of a later point arrives, so only one
// point's accumulators are held at a time, and each row's loop is added as
// it comes. Failed realisations add nothing; a step counts the
// realisations that reached it.
class LoopMeans {
 public:
  // What a step of the open point holds: its field, the running mean and
  // squared deviations of M, and its branch as a bit.
  static constexpr std::uint64_t kBytesPerStep = sizeof(double) + 2 * sizeof(long double) + 1;

  // Writes the header (LoopMeansTableColumns).
  LoopMeans(const SweepGrid& grid, std::ostream& out);
  // Hands the lines to `sink`.
  LoopMeans(const SweepGrid& grid, TableSink& sink);
  void Add(const SweepRow& row);
  void Finish();
  std::uint64_t LinesWritten() const { return written_; }

 private:
  struct Step {
    Branch branch;
    double H;
    ReadoutStatistics M;
  };
  // Step k with the realisations that reached it.
  Step StepAt(std::size_t k, std::uint64_t count) const;
  void Extend(const std::vector<LoopPoint>& loop);
  void WritePoint();

  const SweepGrid& grid_;
  std::optional<CsvTable> csv_;
  TableSink& sink_;
  Cells cells_;
  std::optional<std::size_t> point_;
  // The open point's steps, column by column.
  std::vector<double> H_;
  std::vector<long double> mean_, m2_;
  std::vector<bool> ascending_;
  // The open point's realisations by the length of their loop: the count of
  // a step follows from them.
  std::map<std::size_t, std::uint64_t> lengths_;
  std::uint64_t written_ = 0;
};

// Throws EConvertError, before anything runs, when the loops a sweep keeps
// would not fit in memory beside its lattices: each row holds its loop
// until it is written (RowWindow rows at most), and the averaged loops
// (`means`) one grid point's steps.
void CheckLoopsFit(const SweepPlan& plan, bool means);

}  // namespace ebsim
