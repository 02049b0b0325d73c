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

namespace ebsim {

// "point,realization,step,branch,H,M"; step counts from 0 over the loop.
void WriteLoopsHeader(std::ostream& out);
// The row's loop, one line per field step; returns the lines written.
std::uint64_t WriteLoopsRows(std::ostream& out, const SweepRow& row);

// The averaged loops, written as the rows come (in index order): a grid
// point's lines go out when a row of a later point arrives, so only one
// point's loop is held at a time. Failed realisations add nothing; a step
// counts the realisations that reached it.
class LoopMeans {
 public:
  // Writes the header: the grid's columns, then
  // "point,step,branch,H,M_mean,M_sd,M_se,n".
  LoopMeans(const SweepGrid& grid, std::ostream& out);
  void Add(const SweepRow& row);
  void Finish();
  std::uint64_t LinesWritten() const { return written_; }

 private:
  struct Step {
    Branch branch;
    double H;
    ReadoutStatistics M;
  };
  void WritePoint();

  const SweepGrid& grid_;
  std::ostream& out_;
  std::optional<std::size_t> point_;
  std::vector<Step> steps_;
  std::uint64_t written_ = 0;
};

}  // namespace ebsim
