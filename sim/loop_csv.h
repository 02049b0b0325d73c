#pragma once
// A Run's loop as comma-separated text: one row per field step with the
// branch, the field and the magnetization.

#include <iosfwd>
#include <string>
#include <vector>

#include "sim/branch.h"

namespace ebsim {

struct LoopPoint {
  Branch branch;
  double H;  // the step's field, before it moves on
  double M;  // the magnetization its pass left
};

// The shortest text that reads back as the same number ("." as decimal
// point, whatever the locale): a double's shortest form where a double
// holds the value, the extended value's shortest form otherwise.
std::string FullPrecisionText(long double x);

// "branch,H,M", then "down"/"up" rows.
void WriteLoopCsv(std::ostream& out, const std::vector<LoopPoint>& loop);
// The same a line at a time, for a loop written as it is swept.
void WriteLoopCsvHeader(std::ostream& out);
void WriteLoopCsvRow(std::ostream& out, const LoopPoint& p);

}  // namespace ebsim
