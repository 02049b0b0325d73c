#include "batch/sweep_resume.h"

#include <ostream>
#include <stdexcept>

#include "batch/runs_file_reader.h"
#include "batch/sweep_output.h"

namespace ebsim {

std::uint64_t CopyFinishedRows(const std::string& path, const SweepPlan& plan, std::ostream& runs,
                               SweepSummary* summary) {
  RunsFileReader reader(path);
  const std::string differs = IdentityDifference(SweepIdentity(plan), reader.Metadata().at("sweep"));
  if (!differs.empty())
    throw std::runtime_error("'" + path + "' holds another sweep (its " + differs + " differs): cannot resume");
  if (ShardText(reader.Shard()) != ShardText(plan.shard))
    throw std::runtime_error("'" + path + "' holds shard " + ShardText(reader.Shard()) + ", not " +
                             ShardText(plan.shard) + ": cannot resume");
  std::uint64_t done = 0;
  while (const auto row = reader.Next()) {
    if (done >= ShardItemCount(plan) || row->row.index != ShardItemIndex(plan, done)) break;
    runs << row->line << '\n';
    if (summary) summary->Add(row->row);
    ++done;
  }
  return done;
}

}  // namespace ebsim
