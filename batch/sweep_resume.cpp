#include "batch/sweep_resume.h"

#include <sys/stat.h>

#include <cerrno>
#include <ostream>
#include <stdexcept>

#include "base/temporary_files.h"
#include "batch/h5_sweep_file.h"
#include "batch/sweep_output.h"

namespace ebsim {

ResumeSource FindResumeSource(const std::string& out) {
  struct stat info {};
  if (stat(out.c_str(), &info) == 0 || errno != ENOENT) return {out, false};
  const std::vector<std::string> left = StaleTemporaries(out);
  if (left.empty()) return {out, false};
  return {left.front(), true};
}

namespace {

void CheckSameSweep(const std::string& path, const Json& sweep, const std::string& shard, const SweepPlan& plan) {
  const std::string differs = IdentityDifference(SweepIdentity(plan), sweep);
  if (!differs.empty())
    throw std::runtime_error("'" + path + "' holds another sweep (its " + differs + " differs): cannot resume");
  if (shard != ShardText(plan.shard))
    throw std::runtime_error("'" + path + "' holds shard " + shard + ", not " + ShardText(plan.shard) +
                             ": cannot resume");
}

}  // namespace

std::unique_ptr<RunsFileReader> OpenForResume(const std::string& path, const SweepPlan& plan) {
  auto reader = std::make_unique<RunsFileReader>(path);
  CheckSameSweep(path, reader->Metadata().at("sweep"), ShardText(reader->Shard()), plan);
  return reader;
}

std::unique_ptr<H5SweepReader> OpenH5ForResume(const std::string& path, const SweepPlan& plan) {
  auto reader = std::make_unique<H5SweepReader>(path);
  const Json& metadata = reader->Metadata();
  const Json shard = metadata.value("shard", Json());
  CheckSameSweep(path, metadata.at("sweep"), shard.is_string() ? shard.get<std::string>() : "", plan);
  return reader;
}

std::uint64_t CopyFinishedRows(RunsFileReader& reader, const SweepPlan& plan, std::ostream& runs,
                               const std::function<void(const SweepRow&)>& onRow) {
  std::uint64_t done = 0;
  try {
    while (done < ShardItemCount(plan)) {
      const auto row = reader.Next();
      if (!row || row->row.index != ShardItemIndex(plan, done)) break;
      runs << row->line << '\n';
      onRow(row->row);
      ++done;
    }
  } catch (const std::runtime_error& bad) {
    throw std::runtime_error(std::string(bad.what()) + ": cannot resume");
  }
  return done;
}

}  // namespace ebsim
