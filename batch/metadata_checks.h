#pragma once
// What a table's metadata line must hold before its rows are read back: a
// JSON object, of the kind wanted, whose sweep counts are whole numbers
// that agree with each other and with the grid it names.

#include <string>

#include "batch/sweep_metadata.h"

namespace ebsim {

// The object of a file's first line; throws std::invalid_argument saying
// what is wrong ("no metadata line", "its metadata line is not valid JSON
// (number overflow parsing '1e400')", "it is a summary table, not a runs
// table") for the file named `path`.
Json ReadMetadataLine(const std::string& line, const std::string& path, const std::string& kind);

// Throws std::invalid_argument when the sweep's seed_ms is not a time of
// day in milliseconds, realizations or points not a whole number of at
// least 1, points not the count of the grid's points, or rows not points x
// realizations.
void CheckSweepCounts(const Json& sweep, const SweepGrid& grid);

}  // namespace ebsim
