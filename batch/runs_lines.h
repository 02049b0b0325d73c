#pragma once
// The lines a realisation's row makes in the runs table: one, or with a
// protocol of several cycles one per cycle, each with that cycle's numbers.
// The CSV and HDF5 tables, the summary and Python's rows all take a row's
// lines from here.

#include <cstdint>
#include <vector>

#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"

namespace ebsim {

struct RunsLine {
  const SweepRow* row = nullptr;
  std::uint64_t cycle = 0;  // from 1; 0: the table has no cycle column
  const ReadoutNumbers* readouts = nullptr;
  std::int64_t descendingSteps = 0;
  std::int64_t ascendingSteps = 0;
};

// The row's lines, one per cycle of the grid's (a cycle the row lacks,
// as a row refused for memory does, takes the row's own numbers).
std::vector<RunsLine> RunsLines(const SweepGrid& grid, const SweepRow& row);

}  // namespace ebsim
