#include "cli/sweep_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "base/errors.h"
#include "base/output_file.h"
#include "batch/avalanche_table.h"
#include "batch/h5_sweep_file.h"
#include "batch/loop_tables.h"
#include "batch/runs_file_reader.h"
#include "batch/spin_files.h"
#include "batch/sweep_metadata.h"
#include "cli/model_option_values.h"
#include "batch/sweep_output.h"
#include "batch/sweep_plan.h"
#include "batch/sweep_resume.h"
#include "cli/progress_bar.h"
#include "cli/removed_temporaries.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "run/model_option_texts.h"
#ifdef EB_MPI
#include "cluster/mpi_session.h"
#include "cluster/rank_sweep.h"
#endif

namespace ebsim {

namespace {

// The outputs of a sweep by kind: "runs", "summary", "loops", "loop_mean".
struct Outputs {
  std::string runs = "-", summary, loops, loopMean, avalanches;  // "-": standard output; empty: none
  std::string spins;                                  // a folder; empty: none
  std::string h5;                                     // empty: none
  H5Contents h5Contents;
  std::vector<std::pair<const char*, const std::string*>> Named() const {
    return {{"--out", &runs}, {"--summary", &summary}, {"--loops", &loops}, {"--loop-mean", &loopMean}, {"--avalanches", &avalanches},
            {"--h5", &h5}};
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

// An adiabatic sweep's loops come one row per avalanche, which the loop
// tables and the HDF5 file are not laid out for; its avalanche sizes are
// counted over the realisations of a run, which a resumed or sharded run
// does not see whole.
void CheckAdiabaticOutputs(const SweepRequest& request) {
  const Outputs& paths = request.paths;
  if (!request.plan.model.adiabatic) {
    if (!paths.avalanches.empty()) throw std::invalid_argument("--avalanches needs --adiabatic");
    return;
  }
  if (!paths.loops.empty() || !paths.loopMean.empty() || !paths.h5.empty())
    throw std::invalid_argument("--adiabatic in a sweep writes no --loops, --loop-mean or --h5 (one loop row per "
                                "avalanche); ebsim run --adiabatic --loop-csv FILE writes a realisation's");
  if (!paths.avalanches.empty() && (request.plan.shard.count > 1 || request.resume))
    throw std::invalid_argument("--avalanches takes a whole sweep: not with --shard or --resume");
}

void CheckOutputs(const SweepRequest& request) {
  std::vector<NamedOutput> outputs;
  for (const auto& [option, path] : request.paths.Named()) outputs.push_back({option, *path});
  const Outputs& paths = request.paths;
  if (paths.runs.empty() && paths.h5.empty()) throw std::invalid_argument("--out takes a file name, not an empty text");
  CheckOutputPaths(outputs);
  if (request.resume && paths.runs == "-" && paths.h5.empty())
    throw std::invalid_argument("--resume needs --out FILE or --h5 FILE");
  if (request.resume && (!paths.loops.empty() || paths.h5Contents.loops))
    throw std::invalid_argument(
        "--resume does not take --loops or --h5-loops (the loops of the finished rows are not kept)");
  if (paths.spins == "-") throw std::invalid_argument("--spins takes a folder, not standard output");
  if (paths.h5 == "-") throw std::invalid_argument("--h5 takes a file, not standard output");
  if ((!paths.loopMean.empty() || paths.h5Contents.loopMeans) && (request.plan.shard.count > 1 || request.resume))
    throw std::invalid_argument("--loop-mean and --h5-loop-mean take a whole sweep: not with --shard or --resume");
  CheckAdiabaticOutputs(request);
}

// What --h5 holds beside the runs and the summary: what the other options
// write, and what its own flags ask for.
H5Contents H5ContentsOf(const CommonOptions& options, const Outputs& paths) {
  const auto flag = [&](const char* name) {
    return std::find(options.flags.begin(), options.flags.end(), name) != options.flags.end();
  };
  for (const char* name : {"h5-loops", "h5-loop-mean", "h5-spins"})
    if (flag(name) && paths.h5.empty()) throw std::invalid_argument(std::string("--") + name + " needs --h5 FILE");
  return {!paths.loops.empty() || flag("h5-loops"), !paths.loopMean.empty() || flag("h5-loop-mean"),
          !paths.spins.empty() || flag("h5-spins")};
}

// Whether a resumed sweep continues its HDF5 file: one is asked for and
// stands there (when it does not, the runs table is continued).
bool ResumesH5(const Outputs& paths) {
  struct stat info {};
  return !paths.h5.empty() && (paths.runs.empty() || stat(paths.h5.c_str(), &info) == 0 || errno != ENOENT);
}

// The seed a resumed sweep was started with, when none is given.
std::uint32_t SeedOfEarlierRun(const Outputs& paths) {
  try {
    const Json metadata = ResumesH5(paths) ? H5SweepReader(paths.h5).Metadata()
                                           : RunsFileReader(FindResumeSource(paths.runs).path).Metadata();
    return metadata.at("sweep").at("seed_ms").get<std::uint32_t>();
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
  request.paths.h5 = value("h5").value_or("");
  request.paths.runs = value("out").value_or(request.paths.h5.empty() ? "-" : "");
  request.paths.summary = value("summary").value_or("");
  request.paths.loops = value("loops").value_or("");
  request.paths.loopMean = value("loop-mean").value_or("");
  request.paths.avalanches = value("avalanches").value_or("");
  request.paths.spins = value("spins").value_or("");
  request.resume = std::find(options.flags.begin(), options.flags.end(), "resume") != options.flags.end();
  request.paths.h5Contents = H5ContentsOf(options, request.paths);
  SweepAsk ask;
  ask.separator = DecimalSeparator(options.separator.value_or(U'.'));
  for (const auto& [field, text] : options.texts) ask.values[field] = {text};
  ask.realizations = value("realizations");
  ask.threads = value("threads");
  ask.shard = value("shard");
  ask.keepLoops = request.paths.h5Contents.loops || request.paths.h5Contents.loopMeans;
  ask.keepSpins = request.paths.h5Contents.spins;
  ask.model = ReadModelOptions(options.values, ask.separator);
  ask.model.adiabatic = std::find(options.flags.begin(), options.flags.end(), "adiabatic") != options.flags.end();
  PlannedSweep planned = PlanSweep(ask);
  request.grid = std::move(planned.grid);
  request.plan = planned.plan;
  for (std::size_t k = 0; k < request.grid->PointCount() && ask.model.adiabatic; ++k)
    if (const std::optional<std::string> conflict = AdiabaticConflict(ask.model, request.grid->PointFields(k), false))
      throw std::invalid_argument(*conflict);
  if (!request.plan.model.spinsAt.empty()) {
    if (request.paths.spins.empty()) throw std::invalid_argument("--spins-at needs --spins DIR");
    if (!request.paths.h5.empty())
      throw std::invalid_argument("--spins-at writes the --spins folder only: the HDF5 file holds spins at Hmin");
    std::int64_t most = 0;
    for (std::size_t k = 0; k < request.grid->PointCount(); ++k)
      most = std::max(most, RunStepCount(request.grid->PointFields(k), request.plan.model).value_or(INT64_MAX));
    if (request.plan.model.spinsAt.back() >= most)
      throw std::invalid_argument("--spins-at " + std::to_string(request.plan.model.spinsAt.back()) +
                                  " is beyond the last step of every run, " + std::to_string(most - 1) +
                                  " (steps count from 0)");
  }
  CheckOutputs(request);
  if (request.plan.keepLoops) CheckLoopsFit(request.plan, request.paths.h5Contents.loopMeans);
  request.clockSeed = !options.seedMs && !request.resume;
  request.plan.seedMs =
      !options.seedMs && request.resume && readFiles ? SeedOfEarlierRun(request.paths) : SeedOrClock(options);
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

// A file's metadata with what the sweep's origin adds (the study file).
Json WithOrigin(Json metadata, const Json& origin) {
  metadata.update(origin);
  return metadata;
}

// The open outputs of a sweep; the files are put in place together.
struct OpenOutputs {
  std::unique_ptr<OutputFile> files[5];
  std::ostream* streams[5] = {};
  std::string paths[5];
  std::optional<SpinFolder> spins;
  std::optional<H5SweepFile> h5;

  OpenOutputs(const SweepRequest& request, std::ostream& out) {
    const Outputs& wanted = request.paths;
    if (!wanted.spins.empty()) spins.emplace(wanted.spins);
    if (!wanted.h5.empty())
      h5.emplace(wanted.h5, request.plan, wanted.h5Contents,
                 WithOrigin(FileMetadata(request.plan, "h5", request.commandLine), request.origin));
    const std::string* all[5] = {&wanted.runs, &wanted.summary, &wanted.loops, &wanted.loopMean, &wanted.avalanches};
    for (int k = 0; k < 5; ++k) {
      paths[k] = *all[k];
      if (paths[k].empty()) continue;
      if (paths[k] != "-") files[k] = std::make_unique<OutputFile>(paths[k]);
      streams[k] = files[k] ? &files[k]->Stream() : &out;
    }
  }
  // The path of the first stream that failed, if one did.
  std::optional<std::string> Failed() const {
    for (int k = 0; k < 5; ++k)
      if (streams[k] && !*streams[k]) return paths[k];
    return std::nullopt;
  }
  bool FilesGood() const {
    for (const auto& file : files)
      if (file && !file->Good()) return false;
    return !h5 || h5->Good();
  }
  // Then removes the temporaries that killed writers of the same files left.
  void Commit(std::ostream& err) {
    for (int k = 4; k >= 1; --k)
      if (files[k]) files[k]->Commit();
    if (h5) h5->Commit();
    if (files[0]) files[0]->Commit();
    for (const auto& file : files)
      if (file) SayRemoved(file->RemoveStaleTemporaries(), "ebsim sweep", err);
    if (h5) SayRemoved(h5->RemoveStaleTemporaries(), "ebsim sweep", err);
  }
};

enum Stream { kRuns, kSummary, kLoops, kLoopMean, kAvalanches };

// What a resumed sweep continues: its HDF5 file, or else the runs table
// (--out, or the temporary a killed writer of it left when there is no
// --out). A killed writer's HDF5 temporary is never read: the library
// leaves no file it can vouch for.
struct EarlierRun {
  std::unique_ptr<H5SweepReader> h5;
  std::unique_ptr<RunsFileReader> runs;
};

EarlierRun OpenEarlierRun(const SweepRequest& request, std::ostream& err) {
  if (ResumesH5(request.paths)) {
    auto reader = OpenH5ForResume(request.paths.h5, request.plan);
    if (request.paths.h5Contents.spins && !reader->HasSpins())
      throw std::runtime_error("'" + request.paths.h5 + "' holds no spins of its finished rows: cannot resume");
    return {std::move(reader), nullptr};
  }
  if (!request.paths.h5.empty() && request.paths.h5Contents.spins)
    throw std::runtime_error("'" + request.paths.h5 +
                             "' is missing, and with it the spins of the finished rows: cannot resume");
  const ResumeSource source = FindResumeSource(request.paths.runs);
  auto reader = OpenForResume(source.path, request.plan);
  if (source.temporary)
    err << "ebsim sweep: '" << request.paths.runs << "' is missing; resuming from '" << source.path
        << "', left by a writer that is gone\n";
  return {nullptr, std::move(reader)};
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

// Where a sweep's rows go: the CSV tables and the HDF5 file, each row to
// every one of them.
class RowWriters {
 public:
  // Writes the tables' metadata lines and headers.
  RowWriters(const SweepRequest& request, OpenOutputs& outputs)
      : grid_(*request.grid), outputs_(outputs), runs_(outputs.streams[kRuns]), extended_(request.plan.model.Extended()) {
    const char* kinds[] = {"runs", "summary", "loops", "loop_mean", "avalanches"};
    for (int k = 0; k < 5; ++k) {
      if (!outputs.streams[k]) continue;
      *outputs.streams[k] << CommentLine(WithOrigin(FileMetadata(request.plan, kinds[k], request.commandLine),
                                                    request.origin));
    }
    if (runs_) WriteRunsHeader(*runs_, grid_);
    if (outputs.streams[kSummary]) statistics_.emplace(grid_, *outputs.streams[kSummary]);
    if (outputs.streams[kLoops]) WriteLoopsHeader(*outputs.streams[kLoops], request.plan.model.Extended());
    if (outputs.streams[kLoopMean]) means_.emplace(grid_, *outputs.streams[kLoopMean]);
    if (outputs.streams[kAvalanches]) avalanches_.emplace(grid_, *outputs.streams[kAvalanches]);
  }
  // A row an earlier run finished; `copied`: its line is in the runs table already.
  void Resumed(const SweepRow& row, bool copied) {
    if (runs_ && !copied) WriteRunsRow(*runs_, grid_, row);
    if (statistics_) statistics_->Add(row);
    if (outputs_.h5) outputs_.h5->Add(row);
  }
  // A new row, written everywhere or, after a failed write, nowhere more
  // (the tally says why, and the sweep is stopped).
  void Add(const SweepRow& row, SweepTally& tally, std::atomic<bool>& stop) {
    if (tally.writeError) return;
    // A row is written only with its spins, so that a resumed sweep runs it again.
    if (outputs_.spins && !WriteSpins(*outputs_.spins, row, tally, stop)) return;
    try {
      if (outputs_.h5) outputs_.h5->Add(row);
    } catch (const OutputError& bad) {
      tally.writeError = bad.what();
      stop = true;
      return;
    }
    if (runs_) WriteRunsRow(*runs_, grid_, row);
    if (statistics_) statistics_->Add(row);
    if (outputs_.streams[kLoops]) loopRows_ += WriteLoopsRows(*outputs_.streams[kLoops], row, extended_);
    if (means_) means_->Add(row);
    if (avalanches_) avalanches_->Add(row);
    ++tally.kept;
    if (!row.error.empty()) ++tally.failed;
    // A reader that went away, a full disk: stop at the first failed write.
    errno = 0;
    if (runs_) runs_->flush();
    if (const auto failed = outputs_.Failed()) {
      tally.writeError = WriteFailure(*failed, errno ? errno : EIO);
      stop = true;
    }
  }
  // The last lines and the end lines.
  void Finish(SweepTally& tally) {
    if (statistics_) statistics_->Finish();
    if (means_) means_->Finish();
    if (avalanches_) avalanches_->Finish();
    const bool whole = tally.complete && !tally.writeError;
    if (runs_) *runs_ << EndLine(tally.kept, whole);
    if (statistics_) *outputs_.streams[kSummary] << EndLine(statistics_->LinesWritten(), whole);
    if (outputs_.streams[kLoops]) *outputs_.streams[kLoops] << EndLine(loopRows_, whole);
    if (means_) *outputs_.streams[kLoopMean] << EndLine(means_->LinesWritten(), whole);
    if (avalanches_) *outputs_.streams[kAvalanches] << EndLine(avalanches_->LinesWritten(), whole);
    try {
      if (outputs_.h5) outputs_.h5->Finish(tally.kept, whole);
    } catch (const OutputError& bad) {
      if (!tally.writeError) tally.writeError = bad.what();
    }
  }

 private:
  const SweepGrid& grid_;
  OpenOutputs& outputs_;
  std::ostream* runs_;
  std::optional<SweepSummary> statistics_;
  std::optional<LoopMeans> means_;
  std::optional<AvalancheTable> avalanches_;
  std::uint64_t loopRows_ = 0;
  bool extended_;  // the loop rows carry flips and cycle
};

SweepTally Run(const SweepRequest& request, OpenOutputs& outputs, EarlierRun& earlier, std::ostream& err,
               std::atomic<bool>& stop) {
  const SweepPlan& plan = request.plan;
  RowWriters writers(request, outputs);
  SweepTally tally;
  SweepPlan resumed = plan;
  if (earlier.runs || earlier.h5) {
    const auto resume = [&](bool copied) { return [&, copied](const SweepRow& row) { writers.Resumed(row, copied); }; };
    try {
      resumed.skipItems = tally.resumed = tally.kept =
          earlier.h5 ? earlier.h5->FinishedRows(plan, outputs.h5 && request.paths.h5Contents.spins, resume(false))
                     : CopyFinishedRows(*earlier.runs, plan, *outputs.streams[kRuns], resume(true));
    } catch (const OutputError& bad) {
      tally.writeError = bad.what();
      writers.Finish(tally);
      return tally;
    }
    err << "ebsim sweep: resumed after " << tally.resumed << " rows" << std::endl;
  }
  ProgressBar bar(stderr, ShardItemCount(plan), "rows", isatty(STDERR_FILENO), tally.resumed);
  tally.complete = request.runner(
      resumed, [&](const SweepRow& row) { writers.Add(row, tally, stop); },
      [&](std::size_t finished) { bar.Update(tally.resumed + finished); }, stop);
  bar.Finish(tally.kept);
  writers.Finish(tally);
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
  EarlierRun earlier;
  std::optional<OpenOutputs> outputs;
  try {
    if (request.resume) earlier = OpenEarlierRun(request, err);
    outputs.emplace(request, out);
  } catch (const std::runtime_error& bad) {  // an output that cannot be written, a table that cannot be resumed
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  if (request.clockSeed) err << "ebsim sweep: seed-ms " << request.plan.seedMs << " (from the clock)\n";

  SweepTally tally;
  int stopCode = 0;
  try {
    StopSignals signals(stop);
    tally = Run(request, *outputs, earlier, err, stop);
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
