// The one plan of a sweep that ebsim sweep, its ranks and Python build:
// what it takes, the caps it applies and what it refuses, in that order.

#include "batch/sweep_plan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"

using namespace ebsim;

namespace {

struct PlanCase {
  const char* what;
  SweepAsk ask;
  std::string refusal;  // empty: planned
  std::vector<std::string> sides = {};
  unsigned threads = 0, innerThreads = 1;
  std::uint64_t realizations = 1;
};

SweepAsk Ask(std::vector<std::string> sides, std::optional<std::string> realizations = std::nullopt,
             std::optional<std::string> threads = "2", std::string prefix = "--") {
  SweepAsk ask;
  ask.values[Input::Side] = std::move(sides);
  ask.values[Input::Steps] = {"4"};
  ask.realizations = std::move(realizations);
  ask.threads = std::move(threads);
  ask.optionPrefix = std::move(prefix);
  return ask;
}

std::string Refusal(const SweepAsk& ask) {
  try {
    PlanSweep(ask);
  } catch (const Exception& bad) {
    return bad.Message();
  } catch (const std::invalid_argument& bad) {
    return bad.what();
  }
  return "";
}

TEST(SweepPlanTest, TakesCapsAndRefusesAsEveryFrontEndDoes) {
  const std::string most = std::to_string(kMostThreads);
  const PlanCase cases[] = {
      {"beyond the window's sides", Ask({"301"}), "", {"301"}, 2},
      {"values in turn, each a list or range", Ask({"1;2", "3:5:1"}, "3"), "", {"1", "2", "3", "4", "5"}, 2, 1, 3},
      {"a large side on all threads", Ask({"20;1000"}, std::nullopt, "4"), "", {"20", "1000"}, 4, 4},
      {"threads beyond the cap", Ask({"20"}, std::nullopt, "100000000000000000000"), "", {"20"}, kMostThreads},
      {"beyond the compact lattice", Ask({"46341"}), "'46341' is not a valid lattice side (1 to 46340)"},
      {"no realisation", Ask({"20"}, "0"), "--realizations takes a whole number of at least 1: '0'"},
      {"a negative count, named as Python names it", Ask({"20"}, "-3", "2", ""),
       "realizations takes a whole number of at least 1: '-3'"},
      {"more realisations than a count holds", Ask({"20"}, "1000000000000000000000000000000"),
       "--realizations takes a whole number up to 18446744073709551615: '1000000000000000000000000000000'"},
      {"more rows than a count holds", Ask({"1;2"}, "9223372036854775808"),
       "the sweep holds more rows than can be counted"},
      {"no thread", Ask({"20"}, std::nullopt, "0"), "--threads takes a whole number of at least 1: '0'"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Refusal(c.ask), c.refusal);
    if (!c.refusal.empty()) continue;
    const PlannedSweep planned = PlanSweep(c.ask);
    EXPECT_EQ(planned.plan.grid, planned.grid.get());
    EXPECT_EQ(planned.grid->Axes()[0].texts, c.sides);
    EXPECT_TRUE(planned.plan.largeSides);
    EXPECT_EQ(planned.plan.threads, c.threads);
    EXPECT_EQ(planned.plan.innerThreads, c.innerThreads);
    EXPECT_EQ(planned.plan.realizations, c.realizations);
  }
}

TEST(SweepPlanTest, RunAndSweepTakeThreadsUnderOneCap) {
  EXPECT_EQ(ThreadCount("7"), 7u);
  EXPECT_EQ(ThreadCount(std::to_string(kMostThreads + 1)), kMostThreads);
  EXPECT_LE(DefaultThreadCount(), kMostThreads);
  for (const char* bad : {"", "-1", "+2", "0", "000", "2.5", "two"})
    EXPECT_THROW(ThreadCount(bad), PlanOptionError) << bad;
}

}  // namespace
