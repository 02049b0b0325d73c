#include "batch/sweep_plan.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "form/catalogue.h"
#include "run/field_sweep.h"

namespace ebsim {

namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::uint64_t Realizations(const std::string& text, const std::string& option) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range && AllDigits(text))
    throw PlanOptionError(option + " takes a whole number up to " +
                          std::to_string(std::numeric_limits<std::uint64_t>::max()) + ": '" + text + "'");
  if (error != std::errc() || end != text.data() + text.size() || value < 1)
    throw PlanOptionError(option + " takes a whole number of at least 1: '" + text + "'");
  return value;
}

std::vector<GridAxis> Axes(const SweepAsk& ask) {
  std::vector<GridAxis> axes;
  for (const InputEntry& input : Inputs()) {
    const auto given = ask.values.find(input.input);
    if (given == ask.values.end()) {
      axes.push_back({input.column, input.input, {DefaultText(input.input, ask.separator.Text())}});
      continue;
    }
    GridAxis axis{input.column, input.input, {}};
    for (const std::string& value : given->second)
      for (std::string& text : ParseAxisValues(input.input, value, ask.separator)) axis.texts.push_back(std::move(text));
    if (axis.texts.empty()) throw std::invalid_argument(std::string(input.column) + " is given no values");
    axes.push_back(std::move(axis));
  }
  return axes;
}

}  // namespace

unsigned ThreadCount(const std::string& text, const std::string& option) {
  // Any count beyond the cap is the cap, however many digits it has.
  if (!AllDigits(text) || text.find_first_not_of('0') == std::string::npos)
    throw PlanOptionError(option + " takes a whole number of at least 1: '" + text + "'");
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error != std::errc() ? kMostThreads : std::min(value, kMostThreads);
}

unsigned DefaultThreadCount() { return std::min(AvailableProcessors(), kMostThreads); }

PlannedSweep PlanSweep(const SweepAsk& ask) {
  PlannedSweep planned;
  auto grid = std::make_unique<SweepGrid>(Axes(ask), ask.separator);
  grid->SetCycles(TableCycles(ask.model, ask.separator));
  planned.grid = std::move(grid);
  SweepPlan& plan = planned.plan;
  plan.grid = planned.grid.get();
  plan.model = ask.model;
  plan.realizations = ask.realizations ? Realizations(*ask.realizations, ask.optionPrefix + "realizations") : 1;
  if (SweepRowCount(plan) == 0) throw PlanOptionError("the sweep holds more rows than can be counted");
  plan.threads = ask.threads ? ThreadCount(*ask.threads, ask.optionPrefix + "threads") : DefaultThreadCount();
  try {
    if (ask.shard) plan.shard = ParseShard(*ask.shard);
  } catch (const std::invalid_argument& bad) {
    throw PlanOptionError(bad.what());
  }
  plan.keepLoops = ask.keepLoops;
  plan.keepSpins = ask.keepSpins;
  // Sides beyond 300 on the compact lattice; from kSideForInnerThreads on,
  // each realisation on all the threads.
  plan.largeSides = true;
  plan.innerThreads = InnerThreads(*planned.grid, plan.threads);
  CheckRunInputs(*planned.grid, true, SweepThreads(plan), plan.model, plan.innerThreads);
  return planned;
}

}  // namespace ebsim
