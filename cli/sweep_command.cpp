#include "cli/sweep_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "base/errors.h"
#include "base/output_file.h"
#include "batch/loop_tables.h"
#include "batch/runs_file_reader.h"
#include "batch/spin_files.h"
#include "batch/sweep_metadata.h"
#include "batch/sweep_output.h"
#include "batch/sweep_plan.h"
#include "batch/sweep_resume.h"
#include "cli/progress_bar.h"
#include "cli/removed_temporaries.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#ifdef EB_MPI
#include "cluster/mpi_session.h"
#include "cluster/rank_sweep.h"
#endif

namespace ebsim {

namespace {

// The outputs of a sweep by kind: "runs", "summary", "loops", "loop_mean".
struct Outputs {
  std::string runs = "-", summary, loops, loopMean;  // "-": standard output; empty: none
  std::string spins;                                  // a folder; empty: none
  std::vector<std::pair<const char*, const std::string*>> Named() const {
    return {{"--out", &runs}, {"--summary", &summary}, {"--loops", &loops}, {"--loop-mean", &loopMean}};
  }
};

using SweepRunner = bool (*)(const SweepPlan&, const std::function<void(const SweepRow&)>&,
                             const std::function<void(std::size_t)>&, const std::atomic<bool>&);

struct SweepRequest {
  std::unique_ptr<const SweepGrid> grid;
  SweepPlan plan;
  SweepRunner runner = RunSweep;
  Outputs paths;
  bool clockSeed = false, resume = false, help = false;
  std::vector<std::string> commandLine;
  Json origin = Json::object();  // what every file's metadata adds (the study file)
};

void CheckOutputs(const SweepRequest& request) {
  std::vector<NamedOutput> outputs;
  for (const auto& [option, path] : request.paths.Named()) outputs.push_back({option, *path});
  if (request.paths.runs.empty()) throw std::invalid_argument("--out takes a file name, not an empty text");
  CheckOutputPaths(outputs);
  if (request.resume && request.paths.runs == "-") throw std::invalid_argument("--resume needs --out FILE");
  if (request.resume && !request.paths.loops.empty())
    throw std::invalid_argument("--resume does not take --loops (the loops of the finished rows are not kept)");
  if (request.paths.spins == "-") throw std::invalid_argument("--spins takes a folder, not standard output");
  if (!request.paths.loopMean.empty() && (request.plan.shard.count > 1 || request.resume))
    throw std::invalid_argument("--loop-mean takes a whole sweep: not with --shard or --resume");
}

// The seed a resumed sweep was started with, when none is given.
std::uint32_t SeedOfEarlierRun(const std::string& path) {
  try {
    return RunsFileReader(FindResumeSource(path).path).Metadata().at("sweep").at("seed_ms").get<std::uint32_t>();
  } catch (const std::exception& bad) {
    throw std::invalid_argument(std::string("--resume: ") + bad.what());
  }
}

// Everything the command line asks for, checked before anything runs;
// throws std::invalid_argument or the window's Exception. Without
// `readFiles` a resumed sweep's seed is left to the caller.
SweepRequest ParseRequest(std::span<const std::string> args, bool readFiles = true) {
  const CommonOptions options = ParseCommonOptions(SweepSpec(), args);
  SweepRequest request;
  request.help = options.help;
  if (request.help) return request;
  request.commandLine = options.commandLine;
  auto value = [&](const char* name) -> std::optional<std::string> {
    const auto found = options.values.find(name);
    return found == options.values.end() ? std::nullopt : std::optional(found->second);
  };
  request.paths.runs = value("out").value_or("-");
  request.paths.summary = value("summary").value_or("");
  request.paths.loops = value("loops").value_or("");
  request.paths.loopMean = value("loop-mean").value_or("");
  request.paths.spins = value("spins").value_or("");
  request.resume = std::find(options.flags.begin(), options.flags.end(), "resume") != options.flags.end();
  SweepAsk ask;
  ask.separator = DecimalSeparator(options.separator.value_or(U'.'));
  for (const auto& [field, text] : options.texts) ask.values[field] = {text};
  ask.realizations = value("realizations");
  ask.threads = value("threads");
  ask.shard = value("shard");
  ask.keepLoops = !request.paths.loops.empty() || !request.paths.loopMean.empty();
  ask.keepSpins = !request.paths.spins.empty();
  PlannedSweep planned = PlanSweep(ask);
  request.grid = std::move(planned.grid);
  request.plan = planned.plan;
  CheckOutputs(request);
  if (request.plan.keepLoops) CheckLoopsFit(request.plan, !request.paths.loopMean.empty());
  request.clockSeed = !options.seedMs && !request.resume;
  request.plan.seedMs =
      !options.seedMs && request.resume && readFiles ? SeedOfEarlierRun(request.paths.runs) : SeedOrClock(options);
  return request;
}

// What a sweep did, for its exit code.
struct SweepTally {
  std::uint64_t kept = 0, failed = 0, resumed = 0;
  bool complete = false;
  std::optional<std::string> writeError;  // the first output that failed
};

// "cannot write ..." for an output by the name the user gave.
std::string WriteFailure(const std::string& path, int error) {
  return path == "-" ? std::string("cannot write standard output: ") + std::strerror(error) : CannotWrite(path, error);
}

// The open outputs of a sweep; the files are put in place together.
struct OpenOutputs {
  std::unique_ptr<OutputFile> files[4];
  std::ostream* streams[4] = {};
  std::string paths[4];
  std::optional<SpinFolder> spins;

  OpenOutputs(const Outputs& wanted, std::ostream& out) {
    if (!wanted.spins.empty()) spins.emplace(wanted.spins);
    const std::string* all[4] = {&wanted.runs, &wanted.summary, &wanted.loops, &wanted.loopMean};
    for (int k = 0; k < 4; ++k) {
      paths[k] = *all[k];
      if (paths[k].empty()) continue;
      if (paths[k] != "-") files[k] = std::make_unique<OutputFile>(paths[k]);
      streams[k] = files[k] ? &files[k]->Stream() : &out;
    }
  }
  // The path of the first stream that failed, if one did.
  std::optional<std::string> Failed() const {
    for (int k = 0; k < 4; ++k)
      if (streams[k] && !*streams[k]) return paths[k];
    return std::nullopt;
  }
  bool FilesGood() const {
    for (const auto& file : files)
      if (file && !file->Good()) return false;
    return true;
  }
  // Then removes the temporaries that killed writers of the same files left.
  void Commit(std::ostream& err) {
    for (int k = 3; k >= 0; --k)
      if (files[k]) files[k]->Commit();
    for (const auto& file : files)
      if (file) SayRemoved(file->RemoveStaleTemporaries(), "ebsim sweep", err);
  }
};

enum Stream { kRuns, kSummary, kLoops, kLoopMean };

// The runs table a resumed sweep continues: --out, or the temporary a
// killed writer of it left when there is no --out.
std::unique_ptr<RunsFileReader> OpenEarlierRun(const SweepRequest& request, std::ostream& err) {
  const ResumeSource source = FindResumeSource(request.paths.runs);
  auto reader = OpenForResume(source.path, request.plan);
  if (source.temporary)
    err << "ebsim sweep: '" << request.paths.runs << "' is missing; resuming from '" << source.path
        << "', left by a writer that is gone\n";
  return reader;
}

bool WriteSpins(const SpinFolder& folder, const SweepRow& row, SweepTally& tally, std::atomic<bool>& stop) {
  try {
    folder.Write(row);
    return true;
  } catch (const OutputError& bad) {
    tally.writeError = bad.what();
    stop = true;
    return false;
  }
}

SweepTally Run(const SweepRequest& request, OpenOutputs& outputs, RunsFileReader* earlier, std::ostream& err,
               std::atomic<bool>& stop) {
  const SweepGrid& grid = *request.grid;
  const SweepPlan& plan = request.plan;
  std::ostream& runs = *outputs.streams[kRuns];
  const char* kinds[] = {"runs", "summary", "loops", "loop_mean"};
  for (int k = 0; k < 4; ++k) {
    if (!outputs.streams[k]) continue;
    Json metadata = FileMetadata(plan, kinds[k], request.commandLine);
    metadata.update(request.origin);
    *outputs.streams[k] << CommentLine(metadata);
  }
  WriteRunsHeader(runs, grid);
  std::optional<SweepSummary> statistics;
  if (outputs.streams[kSummary]) statistics.emplace(grid, *outputs.streams[kSummary]);
  if (outputs.streams[kLoops]) WriteLoopsHeader(*outputs.streams[kLoops]);
  std::optional<LoopMeans> means;
  if (outputs.streams[kLoopMean]) means.emplace(grid, *outputs.streams[kLoopMean]);
  SweepTally tally;
  SweepPlan resumed = plan;
  if (earlier) {
    resumed.skipItems = tally.resumed = tally.kept =
        CopyFinishedRows(*earlier, plan, runs, statistics ? &*statistics : nullptr);
    err << "ebsim sweep: resumed after " << tally.resumed << " rows" << std::endl;
  }
  std::uint64_t loopRows = 0;
  ProgressBar bar(stderr, ShardItemCount(plan), "rows", isatty(STDERR_FILENO), tally.resumed);
  tally.complete = request.runner(
      resumed,
      [&](const SweepRow& row) {
        if (tally.writeError) return;
        // A row is written only with its spins, so that a resumed sweep runs it again.
        if (outputs.spins && !WriteSpins(*outputs.spins, row, tally, stop)) return;
        WriteRunsRow(runs, grid, row);
        if (statistics) statistics->Add(row);
        if (outputs.streams[kLoops]) loopRows += WriteLoopsRows(*outputs.streams[kLoops], row);
        if (means) means->Add(row);
        ++tally.kept;
        if (!row.error.empty()) ++tally.failed;
        // A reader that went away, a full disk: stop at the first failed write.
        errno = 0;
        runs.flush();
        if (const auto failed = outputs.Failed()) {
          tally.writeError = WriteFailure(*failed, errno ? errno : EIO);
          stop = true;
        }
      },
      [&](std::size_t finished) { bar.Update(tally.resumed + finished); }, stop);
  bar.Finish(tally.kept);
  if (statistics) statistics->Finish();
  if (means) means->Finish();
  const bool whole = tally.complete && !tally.writeError;
  runs << EndLine(tally.kept, whole);
  if (statistics) *outputs.streams[kSummary] << EndLine(statistics->LinesWritten(), whole);
  if (outputs.streams[kLoops]) *outputs.streams[kLoops] << EndLine(loopRows, whole);
  if (means) *outputs.streams[kLoopMean] << EndLine(means->LinesWritten(), whole);
  return tally;
}

int SweepHere(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop,
              SweepRunner runner, const Json& origin) {
  SweepRequest request;
  try {
    request = ParseRequest(args);
    request.runner = runner;
    request.origin = origin;
  } catch (const Exception& bad) {
    err << "ebsim sweep: " << ErrorBoxText(bad.Message()) << "\n";
    return 2;
  } catch (const std::invalid_argument& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 2;
  }
  if (request.help) {
    out << CommandHelp(SweepSpec());
    return 0;
  }
  request.plan.grid = &*request.grid;
  std::unique_ptr<RunsFileReader> earlier;
  std::optional<OpenOutputs> outputs;
  try {
    if (request.resume) earlier = OpenEarlierRun(request, err);
    outputs.emplace(request.paths, out);
  } catch (const std::runtime_error& bad) {  // an output that cannot be written, a table that cannot be resumed
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  if (request.clockSeed) err << "ebsim sweep: seed-ms " << request.plan.seedMs << " (from the clock)\n";

  SweepTally tally;
  int stopCode = 0;
  try {
    StopSignals signals(stop);
    tally = Run(request, *outputs, earlier.get(), err, stop);
    stopCode = signals.ExitCode();
  } catch (const std::runtime_error& bad) {  // a runs table that cannot be resumed
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  // Files whole or not at all: a file that failed is never put in place,
  // and neither are the others, which would not match it.
  try {
    if (outputs->FilesGood()) outputs->Commit(err);
  } catch (const OutputError& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  if (!tally.writeError && !out.flush()) tally.writeError = WriteFailure("-", errno ? errno : EIO);
  if (tally.writeError) {
    err << "ebsim sweep: " << *tally.writeError << "\n";
    return 1;
  }
  const std::uint64_t total = ShardItemCount(request.plan);
  if (tally.failed) err << "ebsim sweep: " << tally.failed << " of " << tally.kept << " rows failed\n";
  if (!tally.complete) {
    err << "ebsim sweep: stopped; " << tally.kept << " of " << total << " rows kept\n";
    // Not stopped here: another rank ended the sweep.
    return stop.load() ? stopCode : 1;
  }
  return tally.failed == tally.kept - tally.resumed && tally.kept > tally.resumed ? 1 : 0;
}

#ifdef EB_MPI
// Why this rank cannot run the command line (empty: it can); the files
// are not read, rank 0 reads them.
std::string Refusal(std::span<const std::string> args, std::optional<SweepRequest>& request) {
  try {
    request = ParseRequest(args, false);
    request->plan.grid = request->help ? nullptr : &*request->grid;
    return {};
  } catch (const Exception& bad) {
    return ErrorBoxText(bad.Message());
  } catch (const std::exception& bad) {
    return bad.what();
  }
}

// Under an MPI launcher: every rank runs the one command line (rank 0
// refuses the job at once otherwise); rank 0 runs it as on one machine,
// its items dealt out to every rank; the other ranks run what they are
// dealt, write nothing and end with rank 0's code.
int SweepOnRanks(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop,
                 const Json& origin) {
  MpiSession session;
  std::optional<SweepRequest> request;
  const std::string refusal = Refusal(args, request);
  if (session.Rank() == 0) {
    if (!RanksRunThisLine(args, refusal.empty(), err)) return EndSweepOnRanks(2);
    return EndSweepOnRanks(SweepHere(args, out, err, stop, RunSweepAcrossRanks, origin));
  }
  SendCommandLine(args, refusal);
  StopSignals signals(stop);
  return ServeSweep(request && request->plan.grid ? &request->plan : nullptr, stop);
}
#endif

}  // namespace

int SweepCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop,
                 const Json& origin) {
#ifdef EB_MPI
  if (LaunchedByMpi()) return SweepOnRanks(args, out, err, stop, origin);
#endif
  return SweepHere(args, out, err, stop, RunSweep, origin);
}

}  // namespace ebsim
