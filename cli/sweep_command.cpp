#include "cli/sweep_command.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "base/errors.h"
#include "form/field_numbers.h"
#include "base/output_file.h"
#include "cli/progress_bar.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "cli/usable_cores.h"
#include "batch/sweep_output.h"

namespace ebsim {

namespace {

std::uint64_t PositiveCount(const std::string& option, const std::string& text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1)
    throw std::invalid_argument("--" + option + " takes a whole number of at least 1: '" + text + "'");
  return value;
}

// One axis per input, from the texts given over the defaults.
std::vector<GridAxis> Axes(const HeadlessFields& fields) {
  std::vector<GridAxis> axes;
  for (const InputEntry& input : Inputs())
    axes.push_back({input.option, input.field, ParseAxisValues(input.field, fields.Text(input.field), fields.Separator())});
  return axes;
}

struct SweepRequest {
  std::optional<SweepGrid> grid;
  SweepPlan plan;
  std::string runsPath = "-", summaryPath;  // "-": standard output; empty: none
  bool clockSeed = false;
};

// Everything the command line asks for, checked before anything runs;
// throws std::invalid_argument or the window's Exception.
SweepRequest ParseRequest(std::span<const std::string> args) {
  const std::string values[] = {"realizations", "threads", "out", "summary"};
  const CommonOptions options = ParseCommonOptions(args, {}, values);
  SweepRequest request;
  const HeadlessFields fields = PrepareFields(options);
  request.grid.emplace(Axes(fields), fields.Separator());
  auto value = [&](const char* name) -> std::optional<std::string> {
    const auto found = options.values.find(name);
    return found == options.values.end() ? std::nullopt : std::optional(found->second);
  };
  SweepPlan& plan = request.plan;
  plan.grid = &*request.grid;
  plan.realizations = value("realizations") ? PositiveCount("realizations", *value("realizations")) : 1;
  if (SweepRowCount(plan) == 0) throw std::invalid_argument("the sweep holds more rows than can be counted");
  const std::uint64_t threads = value("threads") ? PositiveCount("threads", *value("threads"))
                                                 : UsableCores();
  plan.threads = static_cast<unsigned>(std::min<std::uint64_t>(threads, kMostThreads));
  request.runsPath = value("out").value_or("-");
  request.summaryPath = value("summary").value_or("");
  if (!request.summaryPath.empty() && SameOutputTarget(request.runsPath, request.summaryPath))
    throw std::invalid_argument("--out and --summary name the same file: '" + request.summaryPath + "'");
  plan.largeSides = true;
  plan.innerThreads = InnerThreads(*request.grid, plan.threads);
  CheckRunInputs(*request.grid, true, SweepThreads(plan));
  request.clockSeed = !options.seedMs;
  plan.seedMs = SeedOrClock(options);
  return request;
}

// What a sweep did, for its exit code.
struct SweepTally {
  std::uint64_t kept = 0, failed = 0;
  bool complete = false;
  std::optional<std::string> writeError;  // the first output that failed
};

// "cannot write ..." for an output by the name the user gave.
std::string WriteFailure(const std::string& path, int error) {
  return path == "-" ? std::string("cannot write standard output: ") + std::strerror(error) : CannotWrite(path, error);
}

SweepTally Run(const SweepRequest& request, std::ostream& runs, std::ostream& summaryOut, std::atomic<bool>& stop) {
  const bool summary = !request.summaryPath.empty();
  const SweepGrid& grid = *request.grid;
  WriteRunsHeader(runs, grid);
  std::optional<SweepSummary> statistics;
  if (summary) statistics.emplace(grid, summaryOut);
  const std::uint64_t total = SweepRowCount(request.plan);
  std::optional<ProgressBar> bar;
  if (isatty(STDERR_FILENO)) bar.emplace(stderr, total, "rows");
  SweepTally tally;
  tally.complete = RunSweep(
      request.plan,
      [&](const SweepRow& row) {
        if (tally.writeError) return;
        WriteRunsRow(runs, grid, row);
        if (statistics) statistics->Add(row);
        ++tally.kept;
        if (!row.error.empty()) ++tally.failed;
        // A reader that went away, a full disk: stop at the first failed write.
        errno = 0;
        const bool runsWritten = static_cast<bool>(runs.flush());
        if (!runsWritten || !summaryOut) {
          const int error = errno ? errno : EIO;
          tally.writeError = WriteFailure(runsWritten ? request.summaryPath : request.runsPath, error);
          stop = true;
        }
      },
      [&](std::size_t finished) {
        if (bar) bar->Update(finished);
      },
      stop);
  if (bar) bar->Finish(tally.kept);
  if (statistics) statistics->Finish();
  return tally;
}

}  // namespace

int SweepCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop) {
  SweepRequest request;
  try {
    request = ParseRequest(args);
  } catch (const Exception& bad) {
    err << "ebsim sweep: " << ErrorBoxText(bad.Message()) << "\n";
    return 2;
  } catch (const std::invalid_argument& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 2;
  }
  request.plan.grid = &*request.grid;
  std::unique_ptr<OutputFile> runsFile, summaryFile;
  try {
    if (request.runsPath != "-") runsFile = std::make_unique<OutputFile>(request.runsPath);
    if (!request.summaryPath.empty() && request.summaryPath != "-")
      summaryFile = std::make_unique<OutputFile>(request.summaryPath);
  } catch (const OutputError& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  if (request.clockSeed) err << "ebsim sweep: seed-ms " << request.plan.seedMs << " (from the clock)\n";

  std::ostream& runs = runsFile ? runsFile->Stream() : out;
  std::ostream& summary = summaryFile ? summaryFile->Stream() : out;
  SweepTally tally;
  int stopCode = 0;
  {
    StopSignals signals(stop);
    tally = Run(request, runs, summary, stop);
    stopCode = signals.ExitCode();
  }
  // Files whole or not at all: a file that failed is never put in place,
  // and neither is the other one, which would not match it.
  const bool fileFailed = (runsFile && !runsFile->Good()) || (summaryFile && !summaryFile->Good());
  try {
    if (!fileFailed && summaryFile) summaryFile->Commit();
    if (!fileFailed && runsFile) runsFile->Commit();
  } catch (const OutputError& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  if (!tally.writeError && !out.flush()) tally.writeError = WriteFailure("-", errno ? errno : EIO);
  if (tally.writeError) {
    err << "ebsim sweep: " << *tally.writeError << "\n";
    return 1;
  }
  const std::uint64_t total = SweepRowCount(request.plan);
  if (tally.failed) err << "ebsim sweep: " << tally.failed << " of " << tally.kept << " rows failed\n";
  if (!tally.complete) {
    err << "ebsim sweep: stopped; " << tally.kept << " of " << total << " rows kept\n";
    return stopCode;
  }
  return tally.failed == tally.kept ? 1 : 0;
}

}  // namespace ebsim
