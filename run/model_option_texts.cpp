#include "run/model_option_texts.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

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
       "pass: one relaxation pass at each field value, the window's rule (a spin reverses when its local field "
       "changed sign between its two latest evaluations); stable: at each field value every spin whose local field "
       "opposes it is reversed, again and again, until none is (for a negative enhancement constant in row-major "
       "sweeps until one reverses nothing)"},
      {"boundary", "boundary",
       "edge-copy: a missing neighbour repeats the cell beside it, the window's rule; periodic: neighbours wrap "
       "around; open: a missing neighbour adds nothing"},
      {"cycles", "cycles", "the window's loop this many times in a row, the spins kept between cycles"},
      {"fields", "fields",
       "any field history instead of the loop: the field values in turn, each read by the window's rules, one "
       "relaxation at each; a value below the one before is a descending step, above it an ascending one (the "
       "first counts as descending)"},
      {"spins-at", "spins_at",
       "the steps whose spins are kept, counting field values from 0 over the whole run; none: the turning point"},
  };
  return entries;
}

DynamicsRule DynamicsOption(const std::string& text, const std::string& option) {
  if (const auto rule = ParseDynamics(text)) return *rule;
  throw ModelOptionError(option + " takes pass or stable: '" + text + "'");
}

Boundary BoundaryOption(const std::string& text, const std::string& option) {
  if (const auto boundary = ParseBoundary(text)) return *boundary;
  throw ModelOptionError(option + " takes edge-copy, periodic or open: '" + text + "'");
}

int CyclesOption(const std::string& text, const std::string& option) {
  if (const auto cycles = Whole<int>(text, 1)) return *cycles;
  throw ModelOptionError(option + " takes a whole number from 1 to " +
                         std::to_string(std::numeric_limits<int>::max()) + ": '" + text + "'");
}

std::vector<std::int64_t> SpinStepsOption(const std::string& text, const std::string& option) {
  std::vector<std::int64_t> steps;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(text.find(';', start), text.size());
    const auto step = Whole<std::int64_t>(text.substr(start, end - start), 0);
    if (!step) throw ModelOptionError(option + " takes steps K1;K2;..., each a whole number from 0: '" + text + "'");
    if (std::find(steps.begin(), steps.end(), *step) == steps.end()) steps.push_back(*step);
    if (end == text.size()) return steps;
    start = end + 1;
  }
}

void CheckFieldHistory(const std::vector<std::string>& texts, const std::string& option) {
  if (texts.empty()) throw ModelOptionError(option + " holds no field value");
}

}  // namespace ebsim
