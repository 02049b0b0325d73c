#pragma once
// A Run's loop as comma-separated text, as `ebsim run --loop-csv` and the
// window's Ctrl+S write it: "step,branch,H,M", then one row per field step
// with its index (from 0 over the whole loop), "down" or "up", the field and
// the magnetization, each number the shortest text of its double.

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "engine/branch.h"

namespace ebsim {

struct LoopPoint {
  Branch branch;
  double H;  // the step's field, before it moves on
  double M;  // the magnetization its pass left
  std::int64_t flips = 0;  // the spins its relaxation reversed
  int cycle = 1;           // from 1
};

// "down" or "up".
const char* BranchName(Branch branch);

// The header and every row; extended rows end with ",flips,cycle" (runs
// with options beyond the window's), an adiabatic Run's with ",size" after
// them (the avalanche's, its flips).
void WriteLoopCsv(std::ostream& out, const std::vector<LoopPoint>& loop, bool extended = false);
// The same a line at a time, for a loop written as it is swept.
void WriteLoopCsvHeader(std::ostream& out, bool extended = false, bool sizes = false);
void WriteLoopCsvRow(std::ostream& out, std::uint64_t step, const LoopPoint& p, bool extended = false,
                     bool sizes = false);

}  // namespace ebsim
