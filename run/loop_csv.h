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
};

// "down" or "up".
const char* BranchName(Branch branch);

// The header and every row.
void WriteLoopCsv(std::ostream& out, const std::vector<LoopPoint>& loop);
// The same a line at a time, for a loop written as it is swept.
void WriteLoopCsvHeader(std::ostream& out);
void WriteLoopCsvRow(std::ostream& out, std::uint64_t step, const LoopPoint& p);

}  // namespace ebsim
