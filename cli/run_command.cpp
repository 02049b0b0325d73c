#include "cli/run_command.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string_view>

#include "base/available_memory.h"
#include "base/errors.h"
#include "base/json_text.h"
#include "base/output_file.h"
#include "base/utf8.h"
#include "base/version.h"
#include "batch/h5_run_file.h"
#include "batch/spin_files.h"
#include "batch/sweep_metadata.h"
#include "batch/sweep_plan.h"
#include "batch/sweep_runner.h"
#include "cli/model_option_values.h"
#include "cli/removed_temporaries.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "form/catalogue.h"
#include "form/field_numbers.h"
#include "form/field_parameters.h"
#include "run/loop_measurements.h"
#include "run/model_option_texts.h"
#include "run/large_lattice.h"
#include "run/written_readouts.h"

namespace ebsim {

namespace {

Json ReadoutJson(const HeadlessReadouts::State& state) {
  if (!state.value) return nullptr;
  return Json{{"value", static_cast<double>(*state.value)}, {"shown", ValidUtf8(state.text)}};
}

}  // namespace

std::string PointText(long double x) { return FormatReal(x, DecimalSeparator()); }

namespace {

std::string Dump(const Json& json) { return JsonText(json); }

}  // namespace

namespace {

// Each cycle's loop read-outs, the standard ones among them, and its
// steps, for a run with options beyond the window's.
Json CyclesJson(const std::vector<CycleOutcome>& cycles) {
  Json list = Json::array();
  for (std::size_t c = 0; c < cycles.size(); ++c) {
    Json readouts = Json::object();
    for (const ReadoutEntry& name : Readouts())
      if (std::find(kLoopQuantities.begin(), kLoopQuantities.end(), name.quantity) != kLoopQuantities.end())
        readouts[name.id] = ReadoutJson(cycles[c].readouts.Of(name.quantity));
    const ReadoutNumbers numbers = WrittenNumbers(cycles[c].readouts, cycles[c].crossings);
    for (std::size_t k = kQuantityCount; k < kWrittenReadoutCount; ++k)
      readouts[WrittenReadouts()[k].id] = numbers[k] ? Json{{"value", *numbers[k]}} : Json(nullptr);
    const SweepSteps& steps = cycles[c].steps;
    list.push_back(Json{{"cycle", c + 1},
                        {"readouts", readouts},
                        {"steps", {{"descending", steps.descending}, {"ascending", steps.ascending}}}});
  }
  return list;
}

}  // namespace

void WriteOutcomeJson(std::ostream& out, const RunOutcome& outcome, const Json& provenance, bool extended,
                      bool sizes) {
  Json json = provenance;
  if (outcome.error) {
    json["error"] = ValidUtf8(*outcome.error);
    json["stage"] = outcome.stage;
    out << Dump(json) << "\n";
    return;
  }
  json["side"] = outcome.side;
  Json readouts = Json::object();
  for (const ReadoutEntry& name : Readouts()) readouts[name.id] = ReadoutJson(outcome.readouts.Of(name.quantity));
  // The standard ones after the window's: numbers the window does not show.
  const ReadoutNumbers numbers = WrittenNumbers(outcome.readouts, outcome.crossings);
  for (std::size_t k = kQuantityCount; k < kWrittenReadoutCount; ++k)
    readouts[WrittenReadouts()[k].id] = numbers[k] ? Json{{"value", *numbers[k]}} : Json(nullptr);
  json["readouts"] = readouts;
  json["steps"] = {{"descending", outcome.steps.descending}, {"ascending", outcome.steps.ascending}};
  if (extended) json["cycles"] = CyclesJson(outcome.cycles);
  std::string text = Dump(json);
  text.pop_back();  // the closing brace: the loop and the maps follow
  out << text;
  // The loop a step at a time: as one tree it would take some 600 bytes a step.
  for (std::size_t k = 0; k < outcome.loop.size(); ++k) {
    const LoopPoint& p = outcome.loop[k];
    Json row = {{"step", k}, {"branch", BranchName(p.branch)}, {"H", p.H}, {"M", p.M}};
    if (extended) row.update(Json{{"flips", p.flips}, {"cycle", p.cycle}});
    if (sizes) row["size"] = p.flips;
    out << (k ? "," : ",\"loop\":[") << Dump(row);
  }
  if (!outcome.loop.empty()) out << ']';
  if (outcome.maps) {
    const std::string maps = Dump({{"maps",
                                    {{"exchange", outcome.maps->exchange},
                                     {"initial_energy", outcome.maps->energy},
                                     {"random_field", outcome.maps->randomField}}}});
    out << ',' << std::string_view(maps).substr(1, maps.size() - 2);
  }
  out << "}\n";
}

namespace {

// Writes the loop as it is swept, so that memory does not grow with the
// steps, keeps the spins asked for, and ends the Run when a stop signal
// arrives, in the set-up too.
class StreamingObserver final : public SweepObserver {
 public:
  struct Stopped {};
  StreamingObserver(std::ostream* loop, const std::atomic<bool>& stop, const ModelOptions& model,
                    const SpinFolder* spins)
      : loop_(loop), stop_(stop), model_(model), spins_(spins) {}
  void FieldStepDone(Branch branch, double H, double M) override { StepDone({branch, H, M}); }
  void StepDone(const LoopPoint& p) override {
    if (loop_) WriteLoopCsvRow(*loop_, steps_, p, model_.Extended(), model_.adiabatic);
    ++steps_;
    CheckStop();
  }
  void SetUpRowDone() override { CheckStop(); }
  bool WantsTurningSpins() const override { return spins_ && model_.spinsAt.empty(); }
  void TurningPoint(std::vector<std::int8_t> spins, int n) override {
    if (steps_ > 0) spins_->WriteSpins(StepSpinFileName(static_cast<std::int64_t>(steps_) - 1), spins, n);
  }
  bool WantsStepSpins(std::int64_t step) const override {
    return spins_ && std::binary_search(model_.spinsAt.begin(), model_.spinsAt.end(), step);
  }
  void StepSpins(std::int64_t step, std::vector<std::int8_t> spins, int n) override {
    spins_->WriteSpins(StepSpinFileName(step), spins, n);
  }
  std::uint64_t Steps() const { return steps_; }

 private:
  void CheckStop() const {
    if (stop_.load(std::memory_order_relaxed)) throw Stopped{};
  }

  std::ostream* loop_;
  const std::atomic<bool>& stop_;
  const ModelOptions& model_;
  const SpinFolder* spins_;
  std::uint64_t steps_ = 0;
};

// The rows an adiabatic loop may hold: one per avalanche, and with no
// negative constant each spin reverses at most once a leg.
std::uint64_t AdiabaticRowBound(const HeadlessFields& fields, const ModelOptions& model) {
  std::uint64_t sites = 0;
  try {
    const std::uint64_t n = static_cast<std::uint64_t>(FieldParameters(fields).Side(kLargestSide));
    sites = n * n;
  } catch (const Exception&) {
  }
  return 2 * (sites + 1) * static_cast<std::uint64_t>(model.cycles);
}

// Why --loop cannot be given, when the loop would not fit in memory beside
// the lattice: it grows by doubling, and holds up to three times its size
// while it moves.
std::optional<std::string> LoopRefused(const HeadlessFields& fields, const ModelOptions& model, int threads) {
  const std::uint64_t rows = model.adiabatic ? AdiabaticRowBound(fields, model) : ProtocolStepBound(fields, model);
  const std::optional<int> side = LargeSide(fields);
  std::uint64_t lattice = 0;
  if (side && *side > 0) {
    const FieldParameters parameters(fields);
    lattice = LargeLatticeBytes(*side, ChosenEngine(model, parameters, *side, threads));
  }
  const long double needed = 3.0L * sizeof(LoopPoint) * rows + lattice;
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  if (!available || needed <= *available) return std::nullopt;
  const std::string what = model.adiabatic ? "--loop of an adiabatic run (up to " + std::to_string(rows) + " avalanches)"
                                           : "--loop of " + fields.Text(Input::Steps) + " steps";
  return what + " needs about " + Megabytes(static_cast<std::uint64_t>(std::min(needed, 0x1p63L))) + " of memory; " +
         Megabytes(*available) + " are available (--loop-csv FILE writes the loop as it goes)";
}

// Why --spins-at cannot be given: a step beyond the run's last. A run whose
// inputs are refused is left to report its own error.
std::optional<std::string> StepsBeyondRun(const HeadlessFields& fields, const ModelOptions& model) {
  if (model.spinsAt.empty()) return std::nullopt;
  const std::optional<std::int64_t> counted = RunStepCount(fields, model);
  if (!counted || model.spinsAt.back() < *counted) return std::nullopt;
  const std::int64_t steps = *counted;
  return "--spins-at " + std::to_string(model.spinsAt.back()) + " is beyond the run's last step, " +
         std::to_string(steps - 1) + " (steps count from 0)";
}

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
  try {
    run.model = ReadModelOptions(options.values, fields.Separator());
  } catch (const std::invalid_argument& bad) {
    return bad.what();
  }
  run.model.adiabatic = std::find(options.flags.begin(), options.flags.end(), "adiabatic") != options.flags.end();
  if (const std::optional<std::string> conflict = AdiabaticConflict(run.model, fields, false)) return conflict;
  if (options.values.count("avalanches") && !run.model.adiabatic) return "--avalanches needs --adiabatic";
  // The file's loop arrays are laid out for the field steps, not for rows
  // that come one per avalanche.
  if (options.values.count("h5") && run.model.adiabatic)
    return "--h5 does not hold an adiabatic run (one loop row per avalanche); --loop-csv FILE writes it";
  if (run.keepMaps && run.model.Extended()) return "--maps shows the window's runs only, not with --dynamics, "
                                                   "--boundary, --cycles, --fields or --spins-at";
  if (!run.model.spinsAt.empty() && !options.values.count("spins")) return "--spins-at needs --spins DIR";
  if (const std::optional<std::string> beyond = StepsBeyondRun(fields, run.model)) return beyond;
  return run.keepLoop ? LoopRefused(fields, run.model, run.threads) : std::nullopt;
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
  Json provenance = RunProvenance(fields, seed);
  RunAllOptions run;
  if (const std::optional<std::string> refused = RunOptionsOf(options, fields, run)) {
    err << "ebsim run: " << *refused << "\n";
    return 2;
  }
  const bool extended = run.model.Extended();
  if (extended) provenance["model"] = ModelIdentity(run.model);
  if (run.model.adiabatic) provenance["model"]["adiabatic"] = true;
  const auto spinsPath = options.values.find("spins");
  const auto csv = options.values.find("loop-csv");
  const auto h5Path = options.values.find("h5");
  const auto avalanchesPath = options.values.find("avalanches");
  const bool showLoop = run.keepLoop;
  // --h5 holds the loop: the run keeps it, within the same limit as --loop.
  if (h5Path != options.values.end() && !run.keepLoop) {
    run.keepLoop = true;
    if (const std::optional<std::string> refused = LoopRefused(fields, run.model, run.threads)) {
      err << "ebsim run: " << *refused << "\n";
      return 2;
    }
  }
  const auto metadata = [&](const char* file) {
    Json object = Json{{"program", "ebsim"}, {"file", file}};
    object.update(provenance);
    object["command"] = options.commandLine;
    object["start"] = UtcTimeText(std::chrono::system_clock::now());
    return object;
  };
  std::unique_ptr<OutputFile> loopFile;
  std::unique_ptr<H5RunFile> h5;
  std::unique_ptr<SpinFolder> spins;
  std::unique_ptr<OutputFile> avalanchesFile;
  try {
    if (h5Path != options.values.end() && h5Path->second == "-")
      throw std::invalid_argument("--h5 takes a file, not standard output");
    CheckOutputPaths({{"--loop-csv", csv == options.values.end() ? "" : csv->second},
                      {"--h5", h5Path == options.values.end() ? "" : h5Path->second},
                      {"--avalanches", avalanchesPath == options.values.end() ? "" : avalanchesPath->second}});
  } catch (const std::invalid_argument& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 2;
  }
  try {
    if (csv != options.values.end()) loopFile = std::make_unique<OutputFile>(csv->second);
    if (h5Path != options.values.end()) h5 = std::make_unique<H5RunFile>(h5Path->second, fields, seed, metadata("run"), run.model);
    if (spinsPath != options.values.end()) spins = std::make_unique<SpinFolder>(spinsPath->second);
    if (avalanchesPath != options.values.end()) avalanchesFile = std::make_unique<OutputFile>(avalanchesPath->second);
  } catch (const OutputError& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 1;
  }
  if (loopFile) {
    loopFile->Stream() << CommentLine(metadata("loop"));
    WriteLoopCsvHeader(loopFile->Stream(), extended, run.model.adiabatic);
  }
  std::atomic<bool> stop{false};
  StopSignals signals(stop);
  StreamingObserver observer(loopFile ? &loopFile->Stream() : nullptr, stop, run.model, spins.get());
  run.observer = &observer;
  Simulator simulator;
  RunOutcome outcome;
  try {
    outcome = simulator.RunAll(fields, seed, run);
  } catch (const StreamingObserver::Stopped&) {
    err << "ebsim run: stopped\n";
    return signals.ExitCode();
  } catch (const OutputError& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 1;
  }
  try {
    if (loopFile) {
      loopFile->Stream() << EndLine(observer.Steps(), !outcome.error);
      loopFile->Commit();
      SayRemoved(loopFile->RemoveStaleTemporaries(), "ebsim run", err);
    }
    if (avalanchesFile) {
      const std::vector<SizeBin> bins = outcome.avalancheSizes.Bins();
      std::ostream& file = avalanchesFile->Stream();
      file << CommentLine(metadata("avalanches")) << "branch,size_min,size_max,count\n";
      for (const SizeBin& bin : bins)
        file << BranchName(bin.branch) << ',' << bin.least << ',' << bin.most << ',' << bin.count << '\n';
      file << EndLine(bins.size(), !outcome.error);
      avalanchesFile->Commit();
      SayRemoved(avalanchesFile->RemoveStaleTemporaries(), "ebsim run", err);
    }
    if (h5) {
      SweepRow row = RowOfOutcome(outcome);
      row.loop = outcome.loop;
      h5->Finish(std::move(row));
      h5->Commit();
      SayRemoved(h5->RemoveStaleTemporaries(), "ebsim run", err);
    }
  } catch (const OutputError& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 1;
  }
  if (!showLoop) outcome.loop.clear();
  errno = 0;
  WriteOutcomeJson(out, outcome, provenance, extended, run.model.adiabatic);
  if (!(out << std::flush)) {
    err << "ebsim run: cannot write standard output: " << std::strerror(errno ? errno : EIO) << "\n";
    return 1;
  }
  return outcome.error ? 1 : 0;
}

}  // namespace ebsim
