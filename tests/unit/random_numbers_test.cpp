#include "model/random_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "model/utc_clock.h"

using namespace ebsim;

namespace {

// The state n steps of the generator after `state`.
std::uint32_t StateAfter(std::uint32_t state, int steps) {
  RandomNumbers r;
  r.RandomSeed = state;
  for (int k = 0; k < steps; ++k) r.UniformRandom();
  return r.RandomSeed;
}

// The multiplicative inverse of the generator's multiplier modulo 2^32.
constexpr std::uint32_t InverseMultiplier() {
  std::uint32_t inverse = 134775813u;
  for (int k = 0; k < 5; ++k) inverse *= 2u - 134775813u * inverse;
  return inverse;
}
static_assert(InverseMultiplier() * 134775813u == 1u);

// The state whose next state is `next`.
constexpr std::uint32_t StateBefore(std::uint32_t next) { return (next - 1u) * InverseMultiplier(); }

TEST(UniformRandomTest, SequenceFromStateZero) {
  struct Step {
    double value;
    std::uint32_t state;
  };
  const Step steps[] = {
      {2.3283064365386963e-10, 1u},
      {0.031379939522594213, 134775814u},
      {0.8610484672244638, 3698175007u},
      {0.20258096512407064, 870078620u},
  };
  RandomNumbers r;
  for (const Step& step : steps) {
    const long double value = r.UniformRandom();
    EXPECT_EQ(value, static_cast<long double>(step.value));
    EXPECT_EQ(r.RandomSeed, step.state);
  }
}

TEST(UniformRandomTest, ValueIsTheNewStateTimesTwoToTheMinus32) {
  struct Case {
    std::uint32_t next;
    long double value;
  };
  const Case cases[] = {
      {0u, 0.0L},                                  // exactly 0 can come out
      {0x80000000u, 0.5L},
      {0xFFFFFFFFu, 1.0L - 0x1p-32L},              // the largest value, below 1
      {0x80000001u, 0.5L + 0x1p-32L},
  };
  for (const Case& c : cases) {
    RandomNumbers r;
    r.RandomSeed = StateBefore(c.next);
    EXPECT_EQ(r.UniformRandom(), c.value) << c.next;
    EXPECT_EQ(r.RandomSeed, c.next);
    // Every value fits a double exactly.
    EXPECT_EQ(static_cast<long double>(static_cast<double>(c.value)), c.value);
  }
  // The state that follows 2^31 is 2^31 + 1, so a value of 0.5 is never
  // followed by another 0.5.
  EXPECT_EQ(StateAfter(0x80000000u, 1), 0x80000001u);
}

TEST(SeedFromClockTest, SeedIsMillisecondsSinceMidnight) {
  struct Case {
    int h, m, s, ms;
    std::uint32_t seed;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0u},
      {12, 34, 56, 789, 45296789u},
      {23, 59, 59, 999, 86399999u},
  };
  for (const Case& c : cases) {
    RandomNumbers r;
    r.RandomSeed = 77;
    r.SeedFromClock(FixedClock(TimeOfDayMs(c.h, c.m, c.s, c.ms)));
    EXPECT_EQ(r.RandomSeed, c.seed);
  }
}

TEST(SeedFromClockTest, NextValuesAfterNoonSeed) {
  RandomNumbers r;
  r.SeedFromClock(FixedClock(TimeOfDayMs(12, 34, 56, 789)));
  EXPECT_EQ(r.UniformRandom(), static_cast<long double>(0.48884123051539063));
  EXPECT_EQ(r.UniformRandom(), static_cast<long double>(0.2706321820151061));
}

TEST(SeedFromClockTest, SystemClockGivesATimeOfDay) {
  const std::uint32_t ms = SystemClock().MillisecondsSinceMidnight();
  EXPECT_LE(ms, 86399999u);
}

TEST(GaussianRandomTest, ValuesAfterTheFourUniformsTakeOnePairEach) {
  const double expected[] = {-2.39492, -0.972248, -3.81686, -1.68142};
  RandomNumbers r;
  r.RandomSeed = 870078620u;
  for (double value : expected) {
    const std::uint32_t before = r.RandomSeed;
    EXPECT_NEAR(static_cast<double>(r.GaussianRandom(0.0L, 2.0L)), value, 1e-5);
    EXPECT_EQ(r.RandomSeed, StateAfter(before, 2));
  }
}

TEST(GaussianRandomTest, RejectedPairIsDrawnAgainWhole) {
  // From state 0 the first pair is (2.3e-10, 0.0314): u1² + u2² > 1.
  RandomNumbers r;
  const long double value = r.GaussianRandom(0.0L, 1.0L);
  EXPECT_EQ(r.RandomSeed, StateAfter(0, 4));
  // The value comes from the second pair alone.
  const long double u1 = 2 * static_cast<long double>(0.8610484672244638) - 1;
  const long double u2 = 2 * static_cast<long double>(0.20258096512407064) - 1;
  const long double s = u1 * u1 + u2 * u2;
  EXPECT_NEAR(static_cast<double>(value), static_cast<double>(u1 * std::sqrt(-2 * std::log(s) / s)), 1e-15);
}

TEST(GaussianRandomTest, ZeroDeviationReturnsTheMeanAndStillDraws) {
  for (long double mean : {0.0L, 1.5L, -3.25L}) {
    RandomNumbers r;
    r.RandomSeed = 870078620u;
    const long double value = r.GaussianRandom(mean, 0.0L);
    EXPECT_EQ(value, mean);
    EXPECT_EQ(std::signbit(value), std::signbit(mean)) << "mean " << static_cast<double>(mean);
    EXPECT_EQ(r.RandomSeed, StateAfter(870078620u, 2));
  }
}

TEST(GaussianRandomTest, NegativeDeviationMirrorsThePositiveOne) {
  RandomNumbers plus, minus;
  plus.RandomSeed = minus.RandomSeed = 45296789u;
  for (int k = 0; k < 1000; ++k) {
    const long double a = plus.GaussianRandom(0.0L, 2.0L);
    const long double b = minus.GaussianRandom(0.0L, -2.0L);
    ASSERT_EQ(b, -a) << "draw " << k;
  }
}

TEST(GaussianRandomTest, HugeDeviationOverflows) {
  RandomNumbers r;
  r.RandomSeed = 870078620u;
  EXPECT_THROW(r.GaussianRandom(0.0L, 1e4932L), EOverflow);
}

}  // namespace
