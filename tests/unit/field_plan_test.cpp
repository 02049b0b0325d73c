// The plan's stretches and the step where a local field of a given critical
// field changes sign, against a search of every step with the exact sign:
// criticals on a planned field, a long double's rounding either side of
// one, and anywhere; stretches that turn back, stand still or hold one step.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/field_plan.h"

using namespace ebsim;

namespace {

// The first step after `at`, before the stretch turns back, where the sign
// of H - critical differs from its sign at `at`.
std::size_t Searched(const std::vector<double>& f, std::size_t at, long double critical) {
  int direction = 0;  // of the stretch holding `at`
  for (std::size_t k = 1; k <= at; ++k) {
    const int step = (f[k] > f[k - 1]) - (f[k] < f[k - 1]);
    if (step != 0) direction = direction != 0 && step != direction ? 0 : step;
  }
  const int sign = SignAbove(f[at], critical);
  for (std::size_t k = at + 1; k < f.size(); ++k) {
    const int step = (f[k] > f[k - 1]) - (f[k] < f[k - 1]);
    if (step != 0 && direction != 0 && step != direction) return FieldPlan::kNever;
    if (step != 0) direction = step;
    if (SignAbove(f[k], critical) != sign) return k;
  }
  return FieldPlan::kNever;
}

TEST(FieldPlanTest, FirstChangeIsTheFirstStepOfAnotherSign) {
  std::mt19937_64 rng(5);
  const std::vector<std::vector<double>> shapes = {
      {1.0},
      {3, 2, 1, 0, -1, -2, -3, -2, -1, 0, 1, 2, 3},
      {0.5, 0.5, 0.25, 0.25, 0.25, 0.75, 0.75, 0.125, 1.0},
      {0.1, 0.2, 0.30000000000000004, 0.3, 0.2, 0.2, 0.4},
  };
  std::vector<std::vector<double>> plans = shapes;
  for (int k = 0; k < 20; ++k) {
    std::vector<double> f{0.0};
    for (int s = 0; s < 60; ++s) f.push_back(f.back() + std::ldexp(static_cast<double>(rng() % 7) - 3, -2));
    plans.push_back(f);
  }
  for (const std::vector<double>& f : plans) {
    FieldPlan plan(f);
    for (std::size_t at = 0; at < f.size(); ++at, plan.Advance()) {
      ASSERT_TRUE(plan.Expects(f[at]));
      for (std::size_t k = 0; k < f.size(); ++k) {
        const long double on = f[k];
        const long double ulp = std::ldexp(1.0L, std::ilogb(on == 0 ? 1.0L : on) - 63);
        for (const long double critical : {on, on + ulp, on - ulp, on + 0.1L, -on - 0.3L}) {
          ASSERT_EQ(plan.FirstChange(critical, SignAbove(f[at], critical)), Searched(f, at, critical))
              << "at " << at << " critical " << static_cast<double>(critical) << " k " << k;
        }
      }
    }
    EXPECT_FALSE(plan.Expects(f.back()));
  }
}

}  // namespace
