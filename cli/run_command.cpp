#include "cli/run_command.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "form/field_numbers.h"
#include "base/json_text.h"
#include "base/output_file.h"
#include "form/catalogue.h"
#include "cli/run_options.h"
#include "cli/stop_signals.h"
#include "cli/usable_cores.h"

namespace ebsim {

namespace {

std::string ReadoutJson(const HeadlessReadouts::State& state) {
  if (!state.value) return "null";
  std::string json = "{\"value\": ";
  json += state.value ? JsonString(PointText(*state.value)) : "null";
  return json + ", \"shown\": " + JsonString(state.text) + "}";
}

std::string BlockJson(const std::vector<std::vector<double>>& rows) {
  std::string json = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    json += i ? ",\n    [" : "\n    [";
    for (std::size_t j = 0; j < rows[i].size(); ++j) json += (j ? ", " : "") + JsonNumber(rows[i][j]);
    json += "]";
  }
  return json + "]";
}

}  // namespace

std::string PointText(long double x) { return FormatReal(x, DecimalSeparator()); }

std::string OutcomeJson(const RunOutcome& outcome) {
  if (outcome.error)
    return "{\"error\": " + JsonString(*outcome.error) + ", \"stage\": " + JsonString(outcome.stage) + "}\n";
  std::string json = "{\"seed_ms\": " + std::to_string(outcome.seedMs) + ", \"side\": " + std::to_string(outcome.side);
  json += ",\n \"readouts\": {";
  bool first = true;
  for (const ReadoutEntry& name : Readouts()) {
    json += first ? "\n  " : ",\n  ";
    first = false;
    json += JsonString(name.caption) + ": " + ReadoutJson(outcome.readouts.Of(name.field));
  }
  json += "},\n \"steps\": {\"descending\": " + std::to_string(outcome.steps.descending) +
          ", \"ascending\": " + std::to_string(outcome.steps.ascending) + "}";
  if (!outcome.loop.empty()) {
    json += ",\n \"loop\": [";
    for (std::size_t k = 0; k < outcome.loop.size(); ++k) {
      const LoopPoint& p = outcome.loop[k];
      json += k ? ",\n  [" : "\n  [";
      json += JsonString(p.branch == Branch::Descending ? "down" : "up") + ", " + JsonString(PointText(p.H)) + ", " +
              JsonString(PointText(p.M)) + "]";
    }
    json += "]";
  }
  if (outcome.maps) {
    json += ",\n \"maps\": {\"ExchangeMap\": " + BlockJson(outcome.maps->exchange) +
            ",\n  \"FmEnergyMap\": " + BlockJson(outcome.maps->energy) +
            ",\n  \"QrfMap\": " + BlockJson(outcome.maps->randomField) + "}";
  }
  return json + "}\n";
}

namespace {

// Writes the loop as it is swept, so that memory does not grow with the
// steps, and ends the Run when a stop signal arrives.
class StreamingObserver final : public SweepObserver {
 public:
  struct Stopped {};
  StreamingObserver(std::ostream* loop, const std::atomic<bool>& stop) : loop_(loop), stop_(stop) {
    if (loop_) WriteLoopCsvHeader(*loop_);
  }
  void FieldStepDone(Branch branch, double H, double M) override {
    if (loop_) WriteLoopCsvRow(*loop_, {branch, H, M});
    if (stop_.load(std::memory_order_relaxed)) throw Stopped{};
  }

 private:
  std::ostream* loop_;
  const std::atomic<bool>& stop_;
};

}  // namespace

int RunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  const std::string flags[] = {"loop", "maps"};
  const std::string values[] = {"loop-csv", "threads"};
  CommonOptions options;
  try {
    options = ParseCommonOptions(args, flags, values);
  } catch (const std::invalid_argument& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 2;
  }
  const HeadlessFields fields = PrepareFields(options);
  RunAllOptions run;
  run.largeSides = true;
  run.threads = static_cast<int>(UsableCores());
  if (const auto threads = options.values.find("threads"); threads != options.values.end()) {
    int count = 0;
    const std::string& text = threads->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 1) {
      err << "ebsim run: --threads takes a whole number of at least 1: '" << text << "'\n";
      return 2;
    }
    run.threads = std::min(count, 256);
  }
  for (const std::string& flag : options.flags) {
    run.keepLoop = run.keepLoop || flag == "loop";
    run.keepMaps = run.keepMaps || flag == "maps";
  }
  if (run.keepMaps && LargeSide(fields)) {
    err << "ebsim run: --maps shows sides up to 300\n";
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
  std::atomic<bool> stop{false};
  StopSignals signals(stop);
  StreamingObserver observer(loopFile ? &loopFile->Stream() : nullptr, stop);
  run.observer = &observer;
  Simulator simulator;
  RunOutcome outcome;
  try {
    outcome = simulator.RunAll(fields, SeedOrClock(options), run);
  } catch (const StreamingObserver::Stopped&) {
    err << "ebsim run: stopped\n";
    return signals.ExitCode();
  }
  try {
    if (loopFile) loopFile->Commit();
  } catch (const OutputError& bad) {
    err << "ebsim run: " << bad.what() << "\n";
    return 1;
  }
  errno = 0;
  if (!(out << OutcomeJson(outcome) << std::flush)) {
    err << "ebsim run: cannot write standard output: " << std::strerror(errno ? errno : EIO) << "\n";
    return 1;
  }
  return outcome.error ? 1 : 0;
}

}  // namespace ebsim
