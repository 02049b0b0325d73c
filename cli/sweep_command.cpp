#include "cli/sweep_command.h"

#include <unistd.h>

#include <charconv>
#include <csignal>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "app/errors.h"
#include "app/numeric_fields.h"
#include "base/output_file.h"
#include "cli/progress_bar.h"
#include "cli/run_options.h"
#include "cli/sweep_output.h"

namespace {

std::atomic<bool>* interrupted = nullptr;

extern "C" void OnInterrupt(int) {
  if (interrupted) interrupted->store(true);
}

// Routes SIGINT to a flag while alive.
class InterruptFlag {
 public:
  explicit InterruptFlag(std::atomic<bool>& flag) {
    interrupted = &flag;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptFlag() {
    sigaction(SIGINT, &previous_, nullptr);
    interrupted = nullptr;
  }

 private:
  struct sigaction previous_ {};
};

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
  for (const InputOption& input : InputOptions())
    axes.push_back({input.name, input.field, ParseAxisValues(input.field, fields.Text(input.field))});
  return axes;
}

}  // namespace

int SweepCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop) {
  const std::string values[] = {"realizations", "threads", "out", "summary"};
  std::optional<SweepGrid> grid;
  SweepPlan plan;
  std::optional<std::string> runsPath, summaryPath;
  bool clockSeed = false;
  try {
    const CommonOptions options = ParseCommonOptions(args, {}, values);
    grid.emplace(Axes(PrepareFields(options)));
    auto value = [&](const char* name) -> std::optional<std::string> {
      const auto found = options.values.find(name);
      return found == options.values.end() ? std::nullopt : std::optional(found->second);
    };
    plan.realizations = value("realizations") ? PositiveCount("realizations", *value("realizations")) : 1;
    plan.threads = value("threads") ? static_cast<unsigned>(PositiveCount("threads", *value("threads")))
                                    : std::max(1u, std::thread::hardware_concurrency());
    runsPath = value("out");
    summaryPath = value("summary");
    clockSeed = !options.seedMs;
    plan.seedMs = SeedOrClock(options);
  } catch (const Exception& bad) {
    err << "ebsim sweep: " << ErrorBoxText(bad.Message()) << "\n";
    return 2;
  } catch (const std::invalid_argument& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 2;
  }
  plan.grid = &*grid;
  if (clockSeed) err << "ebsim sweep: seed-ms " << plan.seedMs << " (from the clock)\n";

  std::unique_ptr<OutputFile> runsFile, summaryFile;
  try {
    if (runsPath) runsFile = std::make_unique<OutputFile>(*runsPath);
    if (summaryPath) summaryFile = std::make_unique<OutputFile>(*summaryPath);
  } catch (const std::runtime_error& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 2;
  }
  std::ostream& runs = runsFile ? runsFile->Stream() : out;
  WriteRunsHeader(runs, *grid);
  SweepSummary summary(*grid);

  const std::size_t total = grid->PointCount() * plan.realizations;
  std::optional<ProgressBar> bar;
  if (isatty(STDERR_FILENO)) bar.emplace(stderr, total, "rows");
  std::size_t kept = 0;
  bool complete = false;
  {
    InterruptFlag flag(stop);
    complete = RunSweep(
        plan,
        [&](const SweepRow& row) {
          WriteRunsRow(runs, *grid, row);
          summary.Add(row);
          ++kept;
        },
        [&](std::size_t finished) {
          if (bar) bar->Update(finished);
        },
        stop);
  }
  if (bar) bar->Finish(kept);
  try {
    if (summaryFile) summary.Write(summaryFile->Stream());
    if (summaryFile) summaryFile->Commit();
    if (runsFile) runsFile->Commit();
  } catch (const std::runtime_error& bad) {
    err << "ebsim sweep: " << bad.what() << "\n";
    return 1;
  }
  if (!complete) {
    err << "ebsim sweep: stopped; " << kept << " of " << total << " rows kept\n";
    return 130;
  }
  return 0;
}
