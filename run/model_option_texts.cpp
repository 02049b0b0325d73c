#include "run/model_option_texts.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

#include "base/errors.h"
#include "form/field_parameters.h"
#include "run/field_schedule.h"

namespace ebsim {

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number in [least, most], or none.
template <typename T>
std::optional<T> Whole(const std::string& text, T least) {
  T value = 0;
  if (!AllDigits(text)) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < least) return std::nullopt;
  return value;
}

}  // namespace

const std::vector<ModelOptionEntry>& ModelOptionEntries() {
  static const std::vector<ModelOptionEntry> entries = {
      {"dynamics", "dynamics",
       "pass (default): one relaxation pass at each field value, the window's rule; stable: every unstable spin "
       "reversed until none is (a negative enhancement constant relaxes by row-major sweeps)"},
      {"boundary", "boundary",
       "edge-copy (default): the last row and column repeat the first, the window's rule; periodic: neighbours "
       "wrap around; open: absent neighbours add nothing"},
      {"cycles", "cycles",
       "sweep the loop K times (1 to 1000000) without resetting the spins; adds flips and cycle to the loop rows "
       "and each cycle's read-outs (a sweep's runs and summary: a line per cycle); default 1"},
      {"fields", "fields",
       "any field history instead of the loop: one field text a line (blank lines skipped), one relaxation at each; "
       "a cycle is a descending leg then an ascending one (a sweep's runs and summary: a line per cycle)",
       "any field history instead of the loop: a sequence of field values (a float is given as the shortest text "
       "that reads back as the same double, a str as it is, each read by the window's rules as a line of a "
       "--fields file), one relaxation at each; a cycle is a descending leg then an ascending one; not with "
       "cycles"},
      {"spins-at", "spins_at",
       "keep the spins after steps K1;K2;... (counted from 0 over the whole run) instead of the turning point",
       "a sequence of steps (ints, counted from 0 over the whole run): their spins are kept (result.spins)"},
      {"engine", "engine",
       "auto (default), pass or events: the engine of the pass dynamics on a compactly held lattice (sides above "
       "300, or with the options above): every site at every step, or only the sites whose field may change; the "
       "same results either way; auto takes events from 1500 field values per thread on; for stable, events "
       "takes the spins in the order of their flip fields from sorted lists, and auto takes it from 600 field "
       "values on"},
  };
  return entries;
}

const ModelOptionEntry& AdiabaticEntry() {
  static const ModelOptionEntry entry = {
      "adiabatic", "adiabatic",
      "with --dynamics stable: on each leg of the loop the field moves exactly to the next spin's flip field, one "
      "avalanche at a time; one loop row per avalanche (with its size) and the avalanche sizes per branch",
      "with dynamics='stable': on each leg of the loop the field moves exactly to the next spin's flip field, one "
      "avalanche at a time; one loop row per avalanche, result.avalanches holds each one's size"};
  return entry;
}

std::optional<std::string> AdiabaticConflict(const ModelOptions& model, const FieldTexts& fields, bool python) {
  if (!model.adiabatic) return std::nullopt;
  std::optional<long double> enhancement;
  try {
    enhancement = FieldParameters(fields).Enhancement();
  } catch (const Exception&) {
    // the Run reports its own error
  }
  const std::string self = python ? "adiabatic" : "--adiabatic";
  if (model.dynamics != DynamicsRule::Stable)
    return self + (python ? " needs dynamics='stable'" : " needs --dynamics stable");
  if (model.fields)
    return self + " moves the field itself, not through " + (python ? "fields" : "--fields");
  if (!model.spinsAt.empty())
    return self + " does not know its steps before the run, so not with " + (python ? "spins_at" : "--spins-at");
  if (model.engine == EngineChoice::Pass)
    return self + " needs the flip fields, not " + (python ? "engine='pass'" : "--engine pass");
  if (enhancement && *enhancement < 0)
    return self + " needs an enhancement of 0 or more: with a negative constant the avalanches depend on the "
                  "order of the reversals";
  return std::nullopt;
}

DynamicsRule DynamicsOption(const std::string& text, const std::string& option) {
  if (const auto rule = ParseDynamics(text)) return *rule;
  throw ModelOptionError(option + " takes pass or stable, not '" + text + "'");
}

Boundary BoundaryOption(const std::string& text, const std::string& option) {
  if (const auto boundary = ParseBoundary(text)) return *boundary;
  throw ModelOptionError(option + " takes edge-copy, periodic or open, not '" + text + "'");
}

EngineChoice EngineOption(const std::string& text, const std::string& option) {
  if (const auto engine = ParseEngine(text)) return *engine;
  throw ModelOptionError(option + " takes auto, pass or events, not '" + text + "'");
}

int CyclesOption(const std::string& text, const std::string& option) {
  const auto cycles = Whole<int>(text, 1);
  if (cycles && *cycles <= kMostCycles) return *cycles;
  throw ModelOptionError(option + " takes a whole number from 1 to " + std::to_string(kMostCycles) + ", not '" +
                         text + "'");
}

std::vector<std::int64_t> SpinStepsOption(const std::string& text, const std::string& option) {
  std::vector<std::int64_t> steps;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(text.find(';', start), text.size());
    const std::string item = text.substr(start, end - start);
    const auto step = Whole<std::int64_t>(item, 0);
    if (!step)
      throw ModelOptionError(option + " takes steps K1;K2;... each a whole number of at least 0, not '" + item + "'");
    steps.push_back(*step);
    if (end == text.size()) break;
    start = end + 1;
  }
  std::sort(steps.begin(), steps.end());
  steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
  return steps;
}

double HistoryFieldOption(const std::string& text, const DecimalSeparator& separator, const std::string& where) {
  try {
    return ReadHistoryField(text, separator);
  } catch (const Exception& bad) {
    throw ModelOptionError(where + ": '" + text + "' is not a field value (" + bad.Message() + ")");
  }
}

}  // namespace ebsim
