#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "batch/run_provenance.h"
#include "batch/sweep_metadata.h"
#include "run/simulator.h"

namespace ebsim {

// ebsim run: the three buttons in turn, the outcome as one JSON object.
// Returns the exit code: 0, 1 when a run failed, 2 for bad options.
int RunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// FormatReal of x with "." as separator, whatever separator is in force.
std::string PointText(long double x);

// Writes the outcome as the JSON object that ebsim run prints (one line):
// the provenance, then the read-outs by identifier with their number and
// the five characters the window shows, the step counts, and the loop and
// maps when kept. Extended (options beyond the window's): each cycle's loop
// read-outs as "cycles", and flips and cycle in each loop row; sizes (an
// adiabatic Run): each row's avalanche size too.
void WriteOutcomeJson(std::ostream& out, const RunOutcome& outcome, const Json& provenance, bool extended = false,
                      bool sizes = false);

}  // namespace ebsim
