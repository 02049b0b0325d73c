#include "model/random_streams.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "base/float_checks.h"

using namespace ebsim;

namespace {

constexpr std::uint32_t kSeeds[] = {0u, 45296789u, 870078620u, 0xFFFFFFFFu};
constexpr std::uint64_t kTwo32 = std::uint64_t{1} << 32;

std::uint32_t Stepped(std::uint32_t state, std::uint64_t steps) {
  RandomNumbers r;
  r.RandomSeed = state;
  for (std::uint64_t k = 0; k < steps; ++k) r.UniformRandom();
  return r.RandomSeed;
}

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The ways of spreading the draws the tests run: threads, chunk sizes that
// cut rounds into many chunks and draws into many rounds, and a caller's
// runner (here: its tasks one after another on the calling thread).
std::vector<DrawThreads> Spreads() {
  std::vector<DrawThreads> spreads(5);
  spreads[0].threads = 1;
  spreads[1].threads = 2, spreads[1].chunkPairs = 7;
  spreads[2].threads = 3, spreads[2].chunkPairs = 5;
  spreads[3].threads = 7, spreads[3].chunkPairs = 64;
  spreads[4].chunkPairs = 1;
  spreads[4].run = [](const std::function<void(int)>& task) {
    for (int k = 0; k < 4; ++k) task(k);
  };
  return spreads;
}

TEST(JumpAheadTest, EqualsSteppingOneAtATime) {
  for (std::uint32_t seed : kSeeds)
    for (std::uint64_t steps : {0u, 1u, 2u, 3u, 31u, 32u, 1000u, 65537u, 1234567u})
      EXPECT_EQ(JumpAhead(seed, steps), Stepped(seed, steps)) << seed << " + " << steps;
}

TEST(JumpAheadTest, StepsCountModuloThePeriod) {
  struct Case {
    std::uint64_t steps;
    std::uint64_t thenStepped;  // steps after the jump ...
    std::uint64_t equalsSeedAfter;  // ... land where this many steps from the seed land
  };
  const Case cases[] = {
      {kTwo32 - 1, 1, 0},
      {kTwo32, 0, 0},
      {kTwo32 + 1000, 0, 1000},
      {~std::uint64_t{0}, 1, 0},
      {(std::uint64_t{1} << 63) + 7, 0, 7},
  };
  for (std::uint32_t seed : kSeeds)
    for (const Case& c : cases)
      EXPECT_EQ(Stepped(JumpAhead(seed, c.steps), c.thenStepped), Stepped(seed, c.equalsSeedAfter)) << c.steps;
}

TEST(PolarAcceptsTest, EqualsTheExtendedTestAtTheCircle) {
  // a = x1 - 2^31, b = x2 - 2^31; accepted when a² + b² < 2^62.
  struct Case {
    std::int64_t a, b;
    bool accepted;
  };
  const std::int64_t h = std::int64_t{1} << 31;
  const Case cases[] = {
      {-h, 0, false},                          // s = 1 exactly
      {0, -h, false},
      {-h, -h, false},                         // the largest sum, 2^63
      {0, 0, true},
      {h - 1, 65535, true},                    // 2^62 - 2^17 + 2
      {h - 1, 65536, false},                   // 2^62 + 1
      {-(h - 1), -65536, false},
      {1518500249, 1518500249, true},          // the diagonal's last inside
      {1518500250, -1518500250, false},
  };
  for (const Case& c : cases) {
    const auto x1 = static_cast<std::uint32_t>(c.a + h), x2 = static_cast<std::uint32_t>(c.b + h);
    const long double u1 = 2 * UniformOfState(x1) - 1, u2 = 2 * UniformOfState(x2) - 1;
    EXPECT_EQ(PolarAccepts(x1, x2), c.accepted) << c.a << ", " << c.b;
    EXPECT_EQ(u1 * u1 + u2 * u2 < 1, c.accepted) << c.a << ", " << c.b;
  }
}

TEST(UniformDrawsTest, StretchesAndThreadsGiveTheDrawsInTurn) {
  constexpr std::size_t kDraws = 5000;
  for (std::uint32_t seed : kSeeds) {
    RandomNumbers r;
    r.RandomSeed = seed;
    std::vector<double> inTurn(kDraws);
    for (double& value : inTurn) value = static_cast<double>(r.UniformRandom());
    for (auto [first, count] : {std::pair<std::size_t, std::size_t>{0, 0}, {0, 1}, {1, 1}, {7, 13}, {4096, 904}}) {
      std::vector<double> out(count);
      FillUniforms(seed, first, out);
      for (std::size_t k = 0; k < count; ++k) ASSERT_EQ(out[k], inTurn[first + k]) << seed << " draw " << first + k;
    }
    for (const DrawThreads& how : Spreads())
      for (std::size_t count : {0u, 1u, 3u, 4999u}) {
        RandomNumbers drawn;
        drawn.RandomSeed = seed;
        std::vector<double> out(count);
        ASSERT_EQ(DrawUniforms(drawn, out, how), DrawStatus::Complete);
        EXPECT_EQ(drawn.RandomSeed, Stepped(seed, count));
        for (std::size_t k = 0; k < count; ++k) ASSERT_EQ(out[k], inTurn[k]) << seed << " draw " << k;
      }
  }
}

// StoreDouble(GaussianRandom(mean, sd)) in turn: the values, the state after
// each, and the first draw that raised.
struct InTurn {
  std::vector<double> values;
  std::vector<std::uint32_t> stateAfter;
  std::optional<std::size_t> failedDraw;
};

InTurn GaussiansInTurn(std::uint32_t seed, long double mean, long double sd, std::size_t count) {
  InTurn in;
  RandomNumbers r;
  r.RandomSeed = seed;
  for (std::size_t k = 0; k < count && !in.failedDraw; ++k) {
    try {
      in.values.push_back(StoreDouble(r.GaussianRandom(mean, sd)));
    } catch (const EOverflow&) {
      in.failedDraw = k;
    }
    in.stateAfter.push_back(r.RandomSeed);
  }
  return in;
}

TEST(GaussianDrawsTest, ThreadsGiveTheDrawsInTurnBitForBit) {
  struct Law {
    long double mean, sd;
  };
  const Law laws[] = {{0, 2}, {0, 0}, {1.5L, 0}, {0, -1.5L}};
  constexpr std::size_t kLargest = 60013;
  for (std::uint32_t seed : kSeeds)
    for (const Law& law : laws) {
      const InTurn in = GaussiansInTurn(seed, law.mean, law.sd, kLargest);
      for (const DrawThreads& how : Spreads())
        for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{1001}, kLargest}) {
          RandomNumbers drawn;
          drawn.RandomSeed = seed;
          std::vector<double> out(count);
          ASSERT_EQ(DrawGaussians(drawn, law.mean, law.sd, out, how), DrawStatus::Complete);
          EXPECT_EQ(drawn.RandomSeed, count == 0 ? seed : in.stateAfter[count - 1]) << seed << " count " << count;
          for (std::size_t k = 0; k < count; ++k)
            ASSERT_EQ(Bits(out[k]), Bits(in.values[k])) << seed << " sd " << static_cast<double>(law.sd) << " draw " << k;
        }
    }
}

TEST(GaussianDrawsTest, OverflowRaisesAtTheFirstFailingDrawInTurn) {
  // 1e308 fails where |z| > 1.8 (draws apart), 5e307 where |z| > 3.6
  // (thousands of draws in), 1e4932 in extended precision already.
  const long double deviations[] = {1e308L, -1e308L, 5e307L, 1e4932L};
  constexpr std::size_t kCount = 100000;
  bool failedLate = false;
  for (std::uint32_t seed : kSeeds)
    for (long double sd : deviations) {
      const InTurn in = GaussiansInTurn(seed, 0, sd, kCount);
      ASSERT_TRUE(in.failedDraw) << seed << " sd " << static_cast<double>(sd);
      const std::size_t k = *in.failedDraw;
      failedLate |= k > 1000;
      for (const DrawThreads& how : Spreads()) {
        RandomNumbers drawn;
        drawn.RandomSeed = seed;
        std::vector<double> out(kCount);
        std::uint64_t failedDraw = 0;
        EXPECT_THROW(DrawGaussians(drawn, 0, sd, out, how, &failedDraw), EOverflow);
        EXPECT_EQ(failedDraw, k) << seed << " sd " << static_cast<double>(sd);
        EXPECT_EQ(drawn.RandomSeed, in.stateAfter[k]);
        for (std::size_t d = 0; d < k; ++d) ASSERT_EQ(Bits(out[d]), Bits(in.values[d])) << "draw " << d;
      }
    }
  EXPECT_TRUE(failedLate);
}

TEST(DrawStopTest, StopEndsTheDrawsAndLeavesTheGenerator) {
  // The flag set before the draws, before the n-th stage of chunks (two a
  // round; chunks of 7 pairs make rounds of 7168 pairs), or from another
  // thread while the draws run.
  for (int stage : {0, 1, 2, 3, -1}) {
    std::atomic<bool> stop{stage == 0};
    DrawThreads how;
    how.stop = &stop;
    how.threads = 2;
    how.chunkPairs = stage > 0 ? 7 : how.chunkPairs;
    int calls = 0;
    if (stage > 0)
      how.run = [&](const std::function<void(int)>& task) {
        if (++calls == stage) stop = true;
        task(0);
      };
    std::thread stopper;
    if (stage < 0) stopper = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop = true;
      });
    RandomNumbers r;
    r.RandomSeed = 45296789u;
    std::vector<double> out(stage < 0 ? 4000000 : 20000);
    EXPECT_EQ(DrawGaussians(r, 0, 2, out, how), DrawStatus::Stopped) << "stage " << stage;
    if (stopper.joinable()) stopper.join();
    if (stage == 0) {
      EXPECT_EQ(DrawUniforms(r, out, how), DrawStatus::Stopped);
    }
    EXPECT_EQ(r.RandomSeed, 45296789u) << "stage " << stage;
  }
}

}  // namespace
