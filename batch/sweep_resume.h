#pragma once
// Resuming a sweep from the runs table an interrupted run of it left.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "batch/runs_file_reader.h"
#include "batch/sweep_runner.h"

namespace ebsim {

class H5SweepReader;

// The file a resumed sweep takes its finished rows from: the runs table at
// `out`, or, when there is none, the largest temporary of it that a writer
// killed before it could finish left (see temporary_files.h).
struct ResumeSource {
  std::string path;
  bool temporary = false;
};
ResumeSource FindResumeSource(const std::string& out);

// Opens the runs table at `path`; throws std::runtime_error when it cannot
// be read or is not a runs table of this plan's sweep and shard.
std::unique_ptr<RunsFileReader> OpenForResume(const std::string& path, const SweepPlan& plan);

// The same for a sweep's HDF5 file (h5_sweep_file.h).
std::unique_ptr<H5SweepReader> OpenH5ForResume(const std::string& path, const SweepPlan& plan);

// Copies the rows that an earlier run of the plan left to `runs`, as
// written, and hands each to `onRow`. Returns how many of the shard's
// items they cover (the plan's skipItems): rows from the first gap on, and
// a last row cut short, are left to run again. Throws std::runtime_error
// for a row that is not this sweep's.
std::uint64_t CopyFinishedRows(RunsFileReader& reader, const SweepPlan& plan, std::ostream& runs,
                               const std::function<void(const SweepRow&)>& onRow);

}  // namespace ebsim
