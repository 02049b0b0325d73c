#include "base/json_text.h"
#include "cli/run_command.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "base/output_file.h"
#include "base/utf8.h"
#include "base/version.h"
#include "batch/sweep_metadata.h"
#include "batch/sweep_plan.h"
#include "batch/sweep_runner.h"
#include "cli/removed_temporaries.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "form/catalogue.h"
#include "form/field_numbers.h"

namespace ebsim {

namespace {

Json ReadoutJson(const HeadlessReadouts::State& state) {
  if (!state.value) return nullptr;
  return Json{{"value", static_cast<double>(*state.value)}, {"shown", ValidUtf8(state.text)}};
}

}  // namespace

std::string PointText(long double x) { return FormatReal(x, DecimalSeparator()); }

Json RunProvenance(const FieldTexts& fields, std::uint32_t seedMs) {
  Json inputs = Json::object();
  for (const InputEntry& input : Inputs()) inputs[input.column] = ValidUtf8(fields.Text(input.field));
  return Json{{"version", ProgramVersion()},
              {"seed_ms", seedMs},
              {"separator", EncodeUtf8(fields.Separator().CodePoint())},
              {"inputs", inputs}};
}

std::string OutcomeJson(const RunOutcome& outcome, const Json& provenance) {
  Json json = provenance;
  if (outcome.error) {
    json["error"] = ValidUtf8(*outcome.error);
    json["stage"] = outcome.stage;
    return JsonText(json) + "\n";
  }
  json["side"] = outcome.side;
  Json readouts = Json::object();
  for (const ReadoutEntry& name : Readouts()) readouts[name.id] = ReadoutJson(outcome.readouts.Of(name.field));
  json["readouts"] = readouts;
  json["steps"] = {{"descending", outcome.steps.descending}, {"ascending", outcome.steps.ascending}};
  if (!outcome.loop.empty()) {
    Json loop = Json::array();
    for (std::size_t k = 0; k < outcome.loop.size(); ++k) {
      const LoopPoint& p = outcome.loop[k];
      loop.push_back({{"step", k}, {"branch", BranchName(p.branch)}, {"H", p.H}, {"M", p.M}});
    }
    json["loop"] = loop;
  }
  if (outcome.maps)
    json["maps"] = {{"exchange", outcome.maps->exchange},
                    {"initial_energy", outcome.maps->energy},
                    {"random_field", outcome.maps->randomField}};
  return JsonText(json) + "\n";
}

namespace {

// Writes the loop as it is swept, so that memory does not grow with the
// steps, and ends the Run when a stop signal arrives.
class StreamingObserver final : public SweepObserver {
 public:
  struct Stopped {};
  StreamingObserver(std::ostream* loop, const std::atomic<bool>& stop) : loop_(loop), stop_(stop) {}
  void FieldStepDone(Branch branch, double H, double M) override {
    if (loop_) WriteLoopCsvRow(*loop_, steps_, {branch, H, M});
    ++steps_;
    if (stop_.load(std::memory_order_relaxed)) throw Stopped{};
  }
  std::uint64_t Steps() const { return steps_; }

 private:
  std::ostream* loop_;
  const std::atomic<bool>& stop_;
  std::uint64_t steps_ = 0;
};

// The run's options from the command line; a usage error's text when they
// do not fit together.
std::optional<std::string> RunOptionsOf(const CommonOptions& options, const HeadlessFields& fields,
                                        RunAllOptions& run) {
  run.largeSides = true;
  try {
    const auto threads = options.values.find("threads");
    run.threads = static_cast<int>(threads == options.values.end() ? DefaultThreadCount() : ThreadCount(threads->second));
  } catch (const PlanOptionError& bad) {
    return bad.what();
  }
  for (const std::string& flag : options.flags) {
    run.keepLoop = run.keepLoop || flag == "loop";
    run.keepMaps = run.keepMaps || flag == "maps";
  }
  // Without maps to show, every side takes the compact lattice: the same
  // results, without filling and copying the window's site maps.
  run.compactLattice = !run.keepMaps;
  if (const auto side = LargeSide(fields); run.keepMaps && side && *side > kMaxSide)
    return "--maps shows sides up to 300";
  return std::nullopt;
}

}  // namespace

int RunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  CommonOptions options;
  try {
    options = ParseCommonOptions(RunSpec(), args);
  } catch (const std::invalid_argument& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 2;
  }
  if (options.help) {
    out << CommandHelp(RunSpec());
    return 0;
  }
  const HeadlessFields fields = PrepareFields(options);
  const std::uint32_t seed = SeedOrClock(options);
  const Json provenance = RunProvenance(fields, seed);
  RunAllOptions run;
  if (const std::optional<std::string> refused = RunOptionsOf(options, fields, run)) {
    err << "ebsim run: " << *refused << "\n";
    return 2;
  }
  const auto csv = options.values.find("loop-csv");
  std::unique_ptr<OutputFile> loopFile;
  try {
    if (csv != options.values.end()) loopFile = std::make_unique<OutputFile>(csv->second);
  } catch (const OutputError& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 1;
  }
  if (loopFile) {
    Json metadata = Json{{"program", "ebsim"}, {"file", "loop"}};
    metadata.update(provenance);
    metadata["command"] = options.commandLine;
    metadata["start"] = UtcTimeText(std::chrono::system_clock::now());
    loopFile->Stream() << CommentLine(metadata);
    WriteLoopCsvHeader(loopFile->Stream());
  }
  std::atomic<bool> stop{false};
  StopSignals signals(stop);
  StreamingObserver observer(loopFile ? &loopFile->Stream() : nullptr, stop);
  run.observer = &observer;
  Simulator simulator;
  RunOutcome outcome;
  try {
    outcome = simulator.RunAll(fields, seed, run);
  } catch (const StreamingObserver::Stopped&) {
    err << "ebsim run: stopped\n";
    return signals.ExitCode();
  }
  try {
    if (loopFile) {
      loopFile->Stream() << EndLine(observer.Steps(), !outcome.error);
      loopFile->Commit();
      SayRemoved(loopFile->RemoveStaleTemporaries(), "ebsim run", err);
    }
  } catch (const OutputError& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 1;
  }
  errno = 0;
  if (!(out << OutcomeJson(outcome, provenance) << std::flush)) {
    err << "ebsim run: cannot write standard output: " << std::strerror(errno ? errno : EIO) << "\n";
    return 1;
  }
  return outcome.error ? 1 : 0;
}

}  // namespace ebsim
