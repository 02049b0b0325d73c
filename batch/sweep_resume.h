#pragma once
// Resuming a sweep from the runs table an interrupted run of it left.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "batch/sweep_runner.h"

namespace ebsim {

class SweepSummary;

// Copies the rows that an earlier run of the same plan and shard left in
// the runs table at `path` to `runs`, as written, and adds them to
// `summary` when given. Returns how many of the shard's items they cover
// (the plan's skipItems): rows after the first gap are left to run again.
// Throws std::runtime_error when the file is not a runs table of this sweep
// and shard.
std::uint64_t CopyFinishedRows(const std::string& path, const SweepPlan& plan, std::ostream& runs,
                               SweepSummary* summary);

}  // namespace ebsim
