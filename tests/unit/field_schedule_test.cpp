// The Run's field schedule: the values of each leg, accumulated in double
// and bounded in extended precision, as the Run steps through them and as
// the schedule gives them all at once.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "run/field_schedule.h"
#include "tests/unit/run_fixture.h"

using namespace ebsim;

namespace {

TEST_F(RunTest, FieldSchedules) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* steps;
    std::int64_t down, up;
    std::vector<double> downFields, upFields;  // empty: not listed
  };
  const Case cases[] = {
      {"3", "-3", "300", 151, 151, {}, {}},
      {"3", "-3", "30", 17, 17, {}, {}},
      // -4.2 accumulated lies just below the bound -3 - 1.2.
      {"3", "-3", "10", 6, 6, {3, 1.8, 0.6, -0.6, -1.8, -3.0}, {-3.0, -1.8, -0.6, 0.6, 1.8, 3.0}},
      // The bounds are inclusive.
      {"1", "-1", "4", 4, 4, {1, 0, -1, -2}, {-1, 0, 1, 2}},
      {"0", "-2", "2", 3, 3, {0, -2, -4}, {-2, 0, 2}},
      {"3", "1", "4", 3, 3, {3, 1, -1}, {1, 3, 5}},
      {"2", "2", "2", 2, 2, {2, -2}, {2, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin + " " + c.steps);
    Texts(c.h0, c.hmin, c.steps);
    Recorder recorder(L(), 1);
    ASSERT_EQ(Run(&recorder), "");
    EXPECT_EQ(steps.descending, c.down);
    EXPECT_EQ(steps.ascending, c.up);
    const std::vector<double> down = recorder.Fields(kDown), up = recorder.Fields(kUp);
    ASSERT_EQ(static_cast<std::int64_t>(down.size()), c.down);
    ASSERT_EQ(static_cast<std::int64_t>(up.size()), c.up);
    for (std::size_t k = 0; k < c.downFields.size(); ++k) EXPECT_NEAR(down[k], c.downFields[k], 1e-14) << k;
    for (std::size_t k = 0; k < c.upFields.size(); ++k) EXPECT_NEAR(up[k], c.upFields[k], 1e-14) << k;
    // The descending branch starts at H0 and the ascending one at Hmin, both
    // exactly as read.
    EXPECT_EQ(down.front(), std::stod(c.h0));
    EXPECT_EQ(up.front(), std::stod(c.hmin));
    // The schedule gives each leg's values as the Run steps through them.
    const RunInputs inputs = ReadRunInputs(parameters);
    EXPECT_EQ(LegFields(inputs.loop, 0), down);
    EXPECT_EQ(LegFields(inputs.loop, 1), up);
  }
}

TEST_F(RunTest, DefaultScheduleEndsOnTheAccumulatedField) {
  Texts("3", "-3", "300");
  Recorder recorder(L(), 1);
  ASSERT_EQ(Run(&recorder), "");
  const std::vector<double> down = recorder.Fields(kDown), up = recorder.Fields(kUp);
  ASSERT_EQ(down.size(), 151u);
  ASSERT_EQ(up.size(), 151u);
  EXPECT_EQ(down.back(), -3.000000000000004);
  EXPECT_EQ(up.front(), -3.0);
  EXPECT_GT(up.back(), 3.0);
  EXPECT_NEAR(up.back(), 3.0, 1e-14);
  EXPECT_LT(up[149], 3.0);
  // After the Run the field stands one step beyond the last.
  EXPECT_NEAR(L().AppliedField, up.back() + 0.04, 1e-15);
  EXPECT_EQ(L().InitialField, 3.0);
}

// A leg whose start, stored as a double, lies outside the bounds holds no
// step: the field stands at that start.
TEST(FieldScheduleTest, LegsThatHoldNoStep) {
  const HysteresisLoop loop(0.1L, 0.1L, 0.0);
  EXPECT_EQ(loop.StartField(), 0.1);
  for (int k = 0; k < loop.LegCount(); ++k) {
    EXPECT_TRUE(LegFields(loop, k).empty()) << k;
    EXPECT_EQ(loop.Leg(k)->Field(), 0.1) << k;
  }
}

TEST_F(RunTest, HugeFieldsFinishFast) {
  SetUpLattice(w, L(), 0);
  Texts("1e12", "-1e12", "300", "20");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_GE(steps.descending, 151);
  EXPECT_LE(steps.descending, 152);
}

}  // namespace

namespace {

// A history's legs: runs of steps on one branch, a descending leg and an
// ascending one to each cycle, equal values keeping the branch before.
TEST(FieldHistoryTest, LegsFollowTheDirectionOfEachStep) {
  struct Case {
    std::vector<double> values;
    std::vector<std::vector<double>> legs;  // down, up, down, up, ...
  };
  const Case cases[] = {
      {{5}, {{5}, {}}},
      {{1, 2, 3}, {{1}, {2, 3}}},
      {{3, 2, 2, 1, 1, 2, 2}, {{3, 2, 2, 1, 1}, {2, 2}}},
      {{3, -1, 1, -1}, {{3, -1}, {1}, {-1}, {}}},
      {{0, 0, 0}, {{0, 0, 0}, {}}},
  };
  for (const Case& c : cases) {
    const FieldHistory history(c.values);
    ASSERT_EQ(history.LegCount(), static_cast<int>(c.legs.size()));
    EXPECT_EQ(history.StartField(), c.values.front());
    for (int k = 0; k < history.LegCount(); ++k) {
      EXPECT_EQ(LegFields(history, k), c.legs[static_cast<std::size_t>(k)]) << k;
      const auto leg = history.Leg(k);
      EXPECT_EQ(leg->Cycle(), k / 2 + 1);
      EXPECT_EQ(leg->LegBranch(), k % 2 ? Branch::Ascending : Branch::Descending);
    }
    EXPECT_EQ(StepCount(history), static_cast<std::int64_t>(c.values.size()));
  }
}

TEST(FieldHistoryTest, RepeatedLoopRepeatsTheLegs) {
  const HysteresisLoop loop(1, -1, 1);
  const RepeatedLoop three(loop, 3);
  ASSERT_EQ(three.LegCount(), 6);
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(LegFields(three, k), LegFields(loop, k % 2));
    EXPECT_EQ(three.Leg(k)->Cycle(), k / 2 + 1);
  }
  EXPECT_EQ(StepCount(three), 3 * StepCount(loop));
}

}  // namespace
