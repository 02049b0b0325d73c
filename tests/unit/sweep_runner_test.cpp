// The sweep's rows: the same for any number of threads, and each the very
// outcome `ebsim run` gives for its grid point and its realisation's seed.

#include "batch/sweep_runner.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "run/simulator.h"
#include "form/catalogue.h"
#include "cli/run_command.h"

using namespace ebsim;

namespace {

// Small lattices and few steps; the points include a Run that fails (h0
// below hmin) and one whose loop never crosses zero (hmin 1), which leaves
// the E-B Shift and the Coercivity blank.
SweepGrid SmallGrid() {
  return SweepGrid({{"side", Input::Side, {"8", "12"}},
                    {"dilution", Input::Dilution, {"0", "0.1"}},
                    {"enhancement", Input::Enhancement, {"10"}},
                    {"sd", Input::FieldSd, {"2"}},
                    {"h0", Input::H0, {"3", "-4"}},
                    {"hmin", Input::Hmin, {"-3", "1"}},
                    {"steps", Input::Steps, {"60"}}});
}

std::vector<SweepRow> Sweep(const SweepPlan& plan, bool* complete = nullptr) {
  std::vector<SweepRow> rows;
  const std::atomic<bool> stop{false};
  const bool done = RunSweep(
      plan, [&](const SweepRow& row) { rows.push_back(row); }, [](std::size_t) {}, stop);
  if (complete) *complete = done;
  return rows;
}

void ExpectSameRow(const SweepRow& a, const SweepRow& b) {
  SCOPED_TRACE("row " + std::to_string(b.index));
  EXPECT_EQ(a.index, b.index);
  EXPECT_EQ(a.point, b.point);
  EXPECT_EQ(a.realization, b.realization);
  EXPECT_EQ(a.seedMs, b.seedMs);
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k) EXPECT_EQ(a.readouts[k], b.readouts[k]) << "read-out " << k;
  EXPECT_EQ(a.descendingSteps, b.descendingSteps);
  EXPECT_EQ(a.ascendingSteps, b.ascendingSteps);
  EXPECT_EQ(a.error, b.error);
}

TEST(SweepRunnerTest, RowsAreTheSameForOneAndTwoThreads) {
  const SweepGrid grid = SmallGrid();
  SweepPlan plan{&grid, 3, 45296789, 1};
  bool complete = false;
  const std::vector<SweepRow> one = Sweep(plan, &complete);
  EXPECT_TRUE(complete);
  plan.threads = 2;
  const std::vector<SweepRow> two = Sweep(plan, &complete);
  EXPECT_TRUE(complete);

  ASSERT_EQ(one.size(), grid.PointCount() * 3);
  ASSERT_EQ(two.size(), one.size());
  std::size_t failed = 0, blankShift = 0;
  for (std::size_t k = 0; k < one.size(); ++k) {
    EXPECT_EQ(one[k].index, k);
    EXPECT_EQ(one[k].point, k / 3);
    EXPECT_EQ(one[k].realization, k % 3);
    EXPECT_EQ(one[k].seedMs, RealizationSeed(45296789, k % 3));
    ExpectSameRow(one[k], two[k]);
    ExpectSameRow(one[k], RunRealization(plan, k));  // on a lattice of its own
    failed += one[k].error.empty() ? 0 : 1;
    const bool shift = one[k].readouts[static_cast<std::size_t>(Quantity::EbShift)].has_value();
    blankShift += one[k].error.empty() && !shift ? 1 : 0;
    // The standard read-outs are blank where E-B Shift is, also after a
    // realisation on the same lattice that crossed.
    for (std::size_t s = kQuantityCount; s < kWrittenReadoutCount; ++s)
      EXPECT_EQ(one[k].readouts[s].has_value(), shift);
  }
  // Half the points fail; of the others, at least those with hmin 1 never
  // cross zero.
  EXPECT_EQ(failed, one.size() / 2);
  EXPECT_GE(blankShift, one.size() / 4);
}

TEST(SweepRunnerTest, EachRowIsWhatEbsimRunGivesForItsSeed) {
  const SweepGrid grid = SmallGrid();
  const SweepPlan plan{&grid, 2, 86000000, 1};
  Simulator simulator;
  for (std::size_t index = 0; index < grid.PointCount() * plan.realizations; ++index) {
    const SweepRow row = RunRealization(plan, index);
    SCOPED_TRACE("row " + std::to_string(index));
    EXPECT_EQ(row.seedMs, RealizationSeed(86000000, index % 2));

    // The outcome of the three buttons, number for number.
    const RunOutcome outcome = simulator.RunAll(grid.PointFields(row.point), row.seedMs);
    EXPECT_EQ(row.error, outcome.error.value_or(""));
    EXPECT_EQ(row.descendingSteps, outcome.steps.descending);
    EXPECT_EQ(row.ascendingSteps, outcome.steps.ascending);
    for (std::size_t k = 0; k < kQuantityCount; ++k) {
      const HeadlessReadouts::State& state = outcome.readouts.Of(static_cast<Quantity>(k));
      const bool blank = state.text == "     ";
      // Rounded to double, as ebsim run reports them.
      const std::optional<double> value = state.value ? std::optional(static_cast<double>(*state.value)) : std::nullopt;
      EXPECT_EQ(row.readouts[k], blank ? std::nullopt : value) << "read-out " << k;
    }

    // ebsim run with the same texts and seed.
    std::vector<std::string> args = {"--seed-ms", std::to_string(row.seedMs)};
    const std::vector<std::string> texts = grid.PointTexts(row.point);
    for (std::size_t a = 0; a < texts.size(); ++a) {
      args.push_back(std::string("--") + grid.Axes()[a].option);
      args.push_back(texts[a]);
    }
    std::ostringstream out, err;
    const int code = RunCommand(args, out, err);
    const auto json = nlohmann::json::parse(out.str());
    if (!row.error.empty()) {
      EXPECT_EQ(code, 1);
      EXPECT_EQ(json.at("error"), row.error);
      continue;
    }
    EXPECT_EQ(code, 0) << err.str();
    EXPECT_EQ(json.at("seed_ms"), row.seedMs);
    for (std::size_t k = 0; k < kWrittenReadoutCount; ++k) {
      const char* id = WrittenReadouts()[k].id;
      const auto& readout = json.at("readouts").at(id);
      if (row.readouts[k])
        EXPECT_EQ(readout.at("value"), *row.readouts[k]) << id;
      else
        EXPECT_TRUE(readout.is_null()) << id;
    }
    EXPECT_EQ(json.at("steps").at("descending"), row.descendingSteps);
    EXPECT_EQ(json.at("steps").at("ascending"), row.ascendingSteps);
  }
}

TEST(SweepRunnerTest, AStopKeepsTheFinishedRowsInOrder) {
  const SweepGrid grid({{"side", Input::Side, {"10"}}, {"steps", Input::Steps, {"60"}}});
  const SweepPlan plan{&grid, 20000, 1234, 1};
  std::atomic<bool> stop{false};
  std::vector<SweepRow> rows;
  std::size_t lastProgress = 0;
  const bool complete = RunSweep(
      plan,
      [&](const SweepRow& row) {
        rows.push_back(row);
        stop = true;
      },
      [&](std::size_t finished) { lastProgress = finished; }, stop);
  EXPECT_FALSE(complete);
  ASSERT_FALSE(rows.empty());
  EXPECT_LT(rows.size(), 20000u);
  EXPECT_EQ(lastProgress, rows.size());
  for (std::size_t k = 1; k < rows.size(); ++k) EXPECT_LT(rows[k - 1].index, rows[k].index);
  for (const std::size_t k : {std::size_t{0}, rows.size() - 1}) ExpectSameRow(rows[k], RunRealization(plan, rows[k].index));
}

TEST(SweepRunnerTest, AStoppedSweepRunsNothing) {
  const SweepGrid grid({{"side", Input::Side, {"10"}}});
  const std::atomic<bool> stop{true};
  std::size_t handed = 0;
  EXPECT_FALSE(RunSweep(
      SweepPlan{&grid, 4, 0, 2}, [&](const SweepRow&) { ++handed; }, [](std::size_t) {}, stop));
  EXPECT_EQ(handed, 0u);
}

// A row that cannot be taken (no memory for it, a caller's error) ends the
// sweep: the workers end and the exception reaches the caller.
TEST(SweepRunnerTest, WhatTheCallbacksThrowEndsTheSweepAndReachesTheCaller) {
  const SweepGrid grid({{"side", Input::Side, {"40"}}, {"steps", Input::Steps, {"3000"}}});
  const std::atomic<bool> stop{false};
  for (const bool fromRows : {true, false}) {
    std::size_t calls = 0;
    const auto fail = [&] {
      if (++calls == 2) throw std::runtime_error("cannot take it");
    };
    EXPECT_THROW(RunSweep(
                     SweepPlan{&grid, 1000, 0, 3}, [&](const SweepRow&) { if (fromRows) fail(); },
                     [&](std::size_t) { if (!fromRows) fail(); }, stop),
                 std::runtime_error);
  }
}

// What the process maps now, in bytes.
std::uint64_t AddressSpaceBytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// The sweep under an address-space limit of 1 GB more than the process
// maps: whether only the realisation with a loop of 2^31 steps failed, as
// out of memory, and the sweep went on.
bool OnlyTheLongLoopFails(const SweepPlan& plan) {
  rlimit limit{};
  limit.rlim_cur = AddressSpaceBytes() + (std::uint64_t{1} << 30);
  limit.rlim_max = RLIM_INFINITY;
  if (setrlimit(RLIMIT_AS, &limit) != 0) return false;
  bool complete = false;
  const std::vector<SweepRow> rows = Sweep(plan, &complete);
  return complete && rows.size() == 3 && rows[0].error.empty() && !rows[0].loop.empty() &&
         rows[1].error == "Out of memory." && rows[1].index == 1 && rows[2].error.empty();
}

TEST(SweepRunnerTest, ARealizationMemoryCannotHoldIsAFailedRowNotAnAbort) {
  const SweepGrid grid({{"side", Input::Side, {"1"}}, {"steps", Input::Steps, {"10", "2147483647", "12"}}});
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer maps more than any limit leaves";
#endif
  SweepPlan plan{&grid, 1, 5, 1};
  plan.keepLoops = true;
  EXPECT_EXIT(std::exit(OnlyTheLongLoopFails(plan) ? 0 : 1), testing::ExitedWithCode(0), "");
}

}  // namespace
