#include "cli/model_option_values.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "base/errors.h"
#include "run/field_schedule.h"

namespace ebsim {

namespace {

constexpr int kMostCycles = 1000000;

std::optional<std::int64_t> WholeNumber(const std::string& text, std::int64_t most) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 || value > most)
    return std::nullopt;
  return value;
}

std::string Listed(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ";") + text;
  return joined;
}

}  // namespace

std::vector<OptionSpec> ModelOptionSpecs() {
  return {
      {"dynamics", {}, true, "D",
       "pass (default): one relaxation pass at each field value, the window's rule; stable: every unstable spin "
       "reversed until none is (a negative enhancement constant relaxes by row-major sweeps)"},
      {"boundary", {}, true, "B",
       "edge-copy (default): the last row and column repeat the first, the window's rule; periodic: neighbours "
       "wrap around; open: absent neighbours add nothing"},
      {"cycles", {}, true, "K",
       "sweep the loop K times (1 to 1000000) without resetting the spins; adds flips and cycle to the loop rows "
       "and each cycle's read-outs; default 1"},
      {"fields", {}, true, "FILE",
       "any field history instead of the loop: one field text a line (blank lines skipped), one relaxation at each; "
       "a cycle is a descending leg then an ascending one"},
      {"spins-at", {}, true, "LIST",
       "keep the spins after steps K1;K2;... (counted from 0 over the whole run) instead of the turning point"},
      {"engine", {}, true, "E",
       "auto (default: pass), pass or events: the engine of the pass dynamics on a compactly held lattice (sides "
       "above 300, or with the options above), every site at every step or only those whose field may change; the "
       "same results either way"},
  };
}

std::vector<std::int64_t> ParseSpinSteps(const std::string& text) {
  std::vector<std::int64_t> steps;
  std::size_t from = 0;
  while (true) {
    const std::size_t end = std::min(text.find(';', from), text.size());
    const std::string item = text.substr(from, end - from);
    const std::optional<std::int64_t> step = WholeNumber(item, INT64_MAX);
    if (!step)
      throw std::invalid_argument("--spins-at takes steps K1;K2;... each a whole number of at least 0, not '" + item +
                                  "'");
    steps.push_back(*step);
    if (end == text.size()) break;
    from = end + 1;
  }
  std::sort(steps.begin(), steps.end());
  steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
  return steps;
}

std::vector<std::string> ReadFieldsFile(const std::string& path, const DecimalSeparator& separator) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::invalid_argument("--fields: cannot read '" + path + "': " + std::strerror(errno));
  std::vector<std::string> texts;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    try {
      (void)ReadHistoryField(line, separator);
    } catch (const Exception& bad) {
      throw std::invalid_argument("--fields '" + path + "' line " + std::to_string(number) + ": '" + line +
                                  "' is not a field value (" + bad.Message() + ")");
    }
    texts.push_back(line);
  }
  if (in.bad()) throw std::invalid_argument("--fields: cannot read '" + path + "'");
  if (texts.empty()) throw std::invalid_argument("--fields '" + path + "' holds no field value");
  return texts;
}

ModelOptions ReadModelOptions(const std::map<std::string, std::string>& values, const DecimalSeparator& separator) {
  ModelOptions model;
  const auto given = [&](const char* name) -> const std::string* {
    const auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
  };
  if (const std::string* text = given("dynamics")) {
    const std::optional<DynamicsRule> rule = ParseDynamics(*text);
    if (!rule) throw std::invalid_argument("--dynamics takes pass or stable, not '" + *text + "'");
    model.dynamics = *rule;
  }
  if (const std::string* text = given("boundary")) {
    const std::optional<Boundary> boundary = ParseBoundary(*text);
    if (!boundary) throw std::invalid_argument("--boundary takes edge-copy, periodic or open, not '" + *text + "'");
    model.boundary = *boundary;
  }
  if (const std::string* text = given("cycles")) {
    const std::optional<std::int64_t> cycles = WholeNumber(*text, kMostCycles);
    if (!cycles || *cycles < 1)
      throw std::invalid_argument("--cycles takes a whole number from 1 to 1000000, not '" + *text + "'");
    model.cycles = static_cast<int>(*cycles);
    model.cyclesGiven = true;
  }
  if (const std::string* path = given("fields")) {
    if (model.cyclesGiven) throw std::invalid_argument("--cycles and --fields cannot be given together");
    model.fields = ReadFieldsFile(*path, separator);
  }
  if (const std::string* text = given("spins-at")) model.spinsAt = ParseSpinSteps(*text);
  if (const std::string* text = given("engine")) {
    const std::optional<EngineChoice> engine = ParseEngine(*text);
    if (!engine) throw std::invalid_argument("--engine takes auto, pass or events, not '" + *text + "'");
    model.engine = *engine;
  }
  return model;
}

std::map<std::string, std::string> ModelOptionTexts(const ModelOptions& model) {
  std::map<std::string, std::string> texts;
  if (!model.Extended()) return texts;
  texts["dynamics"] = DynamicsName(model.dynamics);
  texts["boundary"] = BoundaryName(model.boundary);
  texts["cycles"] = std::to_string(model.cycles);
  if (model.fields) texts["fields"] = Listed(*model.fields);
  std::vector<std::string> steps;
  for (const std::int64_t step : model.spinsAt) steps.push_back(std::to_string(step));
  texts["spins_at"] = Listed(steps);
  return texts;
}

}  // namespace ebsim
