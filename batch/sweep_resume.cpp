#include "batch/sweep_resume.h"

#include <sys/stat.h>

#include <cerrno>
#include <ostream>
#include <stdexcept>

#include "base/temporary_files.h"
#include "batch/sweep_output.h"

namespace ebsim {

ResumeSource FindResumeSource(const std::string& out) {
  struct stat info {};
  if (stat(out.c_str(), &info) == 0 || errno != ENOENT) return {out, false};
  const std::vector<std::string> left = StaleTemporaries(out);
  if (left.empty()) return {out, false};
  return {left.front(), true};
}

std::unique_ptr<RunsFileReader> OpenForResume(const std::string& path, const SweepPlan& plan) {
  auto reader = std::make_unique<RunsFileReader>(path);
  const std::string differs = IdentityDifference(SweepIdentity(plan), reader->Metadata().at("sweep"));
  if (!differs.empty())
    throw std::runtime_error("'" + path + "' holds another sweep (its " + differs + " differs): cannot resume");
  if (ShardText(reader->Shard()) != ShardText(plan.shard))
    throw std::runtime_error("'" + path + "' holds shard " + ShardText(reader->Shard()) + ", not " +
                             ShardText(plan.shard) + ": cannot resume");
  return reader;
}

std::uint64_t CopyFinishedRows(RunsFileReader& reader, const SweepPlan& plan, std::ostream& runs,
                               SweepSummary* summary) {
  std::uint64_t done = 0;
  try {
    while (done < ShardItemCount(plan)) {
      const auto row = reader.Next();
      if (!row || row->row.index != ShardItemIndex(plan, done)) break;
      runs << row->line << '\n';
      if (summary) summary->Add(row->row);
      ++done;
    }
  } catch (const std::runtime_error& bad) {
    throw std::runtime_error(std::string(bad.what()) + ": cannot resume");
  }
  return done;
}

}  // namespace ebsim
