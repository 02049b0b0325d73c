#pragma once
// Puts the runs tables of a sweep's shards back together: the rows in the
// order of the whole sweep, byte for byte as the shards wrote them, and the
// summary computed afresh from them.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace ebsim {

struct MergeOutcome {
  std::uint64_t rows = 0;     // rows written
  std::uint64_t total = 0;    // rows of the whole sweep
  std::uint64_t missing = 0;  // rows no file holds
  std::optional<std::uint64_t> firstMissing;  // its index (point * realizations + realization)
  std::uint64_t realizations = 1;
};

// Merges the runs tables at `paths` into `runs` (metadata line, header,
// rows, end line) and, when given, their summary into `summary`. Throws
// std::runtime_error, before it writes a row, for a file that is not a runs
// table or belongs to another sweep (another version, grid, seed or count);
// and, while it writes, for two files that hold the same row, a row that
// is not its sweep's (see RunsFileReader::Next) and a file that ends in a
// row cut short.
MergeOutcome MergeRuns(const std::vector<std::string>& paths, std::ostream& runs, std::ostream* summary,
                       const std::vector<std::string>& commandLine);

}  // namespace ebsim
