#include "batch/runs_lines.h"

namespace ebsim {

std::vector<RunsLine> RunsLines(const SweepGrid& grid, const SweepRow& row) {
  if (grid.Cycles() == 0) return {{&row, 0, &row.readouts, row.descendingSteps, row.ascendingSteps}};
  std::vector<RunsLine> lines;
  for (std::size_t c = 0; c < static_cast<std::size_t>(grid.Cycles()); ++c) {
    if (c < row.cycles.size()) {
      const CycleNumbers& cycle = row.cycles[c];
      lines.push_back({&row, c + 1, &cycle.readouts, cycle.descendingSteps, cycle.ascendingSteps});
    } else {
      lines.push_back({&row, c + 1, &row.readouts, 0, 0});
    }
  }
  return lines;
}

}  // namespace ebsim
