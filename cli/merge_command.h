#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace ebsim {

// ebsim merge FILE... [--out FILE] [--summary FILE]: the runs tables of a
// sweep's shards as one. Returns 0, 1 when a file was refused or rows are
// missing (the merged files are still written), 2 for bad options.
int MergeCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace ebsim
