#pragma once

#include <iosfwd>
#include <span>
#include <string>

#include "sim/simulator.h"

namespace ebsim {

// ebsim run: the three buttons in turn, the outcome as one JSON object.
// Returns the exit code: 0, 1 when a run failed, 2 for bad options.
int RunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// FormatReal of x with "." as separator, whatever separator is in force.
std::string PointText(long double x);

// The outcome as the JSON object that ebsim run prints.
std::string OutcomeJson(const RunOutcome& outcome);

}  // namespace ebsim
