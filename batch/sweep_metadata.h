#pragma once
// Where a sweep's files come from: each starts with one comment line
// "# {json}" that names the program's version, the sweep (every grid text,
// the separator, the base seed, the realisations), the share of it the file
// holds, the command line and the start time, and ends with one
// "# {"end": ..., "rows": N, "complete": ...}" line. pandas reads the files
// with comment='#', gnuplot skips the lines.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"

namespace ebsim {

using Json = nlohmann::ordered_json;

// What makes two files parts of one sweep: the version, the grid's texts per
// input (by column name), the separator, the base seed and the realisations.
Json SweepIdentity(const SweepPlan& plan);

// The options beyond the window's as the files name them: dynamics,
// boundary, cycles, spins_at and the field history's texts (fields); null
// for the defaults, which the files do not name.
Json ModelIdentity(const ModelOptions& model);

// The first line's object of a file of kind `file` ("runs", "summary",
// "loops", "loop_mean") written for this plan.
Json FileMetadata(const SweepPlan& plan, const std::string& file, const std::vector<std::string>& commandLine);
// "# " + the object on one line + "\n" (valid UTF-8 whatever the texts).
std::string CommentLine(const Json& object);
// The closing line: the end time, the rows written, whether the share was
// finished.
std::string EndLine(std::uint64_t rows, bool complete);
// The object of a "# {...}" line, or none.
std::optional<Json> ReadCommentLine(const std::string& line);

// The first of the identity's keys in which a and b differ, empty when none.
std::string IdentityDifference(const Json& a, const Json& b);
// The grid an identity names (for a merge, which has no command line).
SweepGrid GridOfIdentity(const Json& identity);

// "2024-05-01T12:00:00.123Z".
std::string UtcTimeText(std::chrono::system_clock::time_point time);

}  // namespace ebsim
