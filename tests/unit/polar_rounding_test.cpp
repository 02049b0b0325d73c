#include "model/polar_rounding.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "base/float_checks.h"
#include "model/random_numbers.h"
#include "model/random_streams.h"

using namespace ebsim;

namespace {

struct Pair {
  std::int64_t a;
  std::uint64_t N;
};

// Accepted pairs of the generator, then the edges: s at its smallest and
// just below 1, u1 at its largest and smallest.
std::vector<Pair> Pairs(std::size_t count) {
  std::vector<Pair> pairs;
  std::uint32_t x = 870078620u;
  while (pairs.size() < count) {
    const std::uint32_t x1 = x * RandomNumbers::kMultiplier + 1u;
    x = x1 * RandomNumbers::kMultiplier + 1u;
    if (!PolarAccepts(x1, x)) continue;
    const std::int64_t a = static_cast<std::int64_t>(x1) - (std::int64_t{1} << 31);
    const std::int64_t b = static_cast<std::int64_t>(x) - (std::int64_t{1} << 31);
    pairs.push_back({a, static_cast<std::uint64_t>(a * a) + static_cast<std::uint64_t>(b * b)});
  }
  const std::uint64_t top = (std::uint64_t{1} << 62) - 1;
  for (const std::int64_t a : {std::int64_t{1}, std::int64_t{-1}, std::int64_t{3}, std::int64_t{2147483647},
                               std::int64_t{-2147483647}, std::int64_t{1} << 30}) {
    const std::uint64_t rest = top - static_cast<std::uint64_t>(a * a);
    const auto b = static_cast<std::uint64_t>(std::sqrt(static_cast<long double>(rest)));
    for (std::uint64_t c : {b, b - 1, std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2}})
      if (c * c <= rest) pairs.push_back({a, static_cast<std::uint64_t>(a * a) + c * c});
  }
  return pairs;
}

}  // namespace

// Every value the double-double lanes take is the extended chain's own, on
// every instruction set, for laws it serves (most values taken) and laws
// at its edges (values tiny or huge, a mean that cancels them); a margin
// too small for the extended chain's error shows as thousands of values
// off by one unit.
TEST(PolarRoundingTest, TakenValuesAreTheExtendedChainsBitForBit) {
  struct Law {
    long double mean, sd;
    bool serves;
  };
  const Law laws[] = {{0, 2, true},         {0, -1.5L, true},    {3, 0.5L, true},  {-1e5L, 1e-3L, true},
                      {0, 1e-200L, true},   {1.25L, 1.25L, true}, {0, 0.1L, true},  {0, 1e300L, false},
                      {1e-320L, 2, false},  {0, 0, false},        {2, 1.0L / 3, true}};
  const std::vector<Pair> pairs = Pairs(400000);
  std::vector<double> firstValues(pairs.size());
  std::vector<char> firstTold(pairs.size());
  for (const Law& law : laws)
    for (int level = 0; level <= PolarRounding::WidestLevel(); ++level) {
      const PolarRounding rounding(law.mean, law.sd, level);
      std::size_t taken = 0;
      for (std::size_t first = 0; first < pairs.size(); first += PolarRounding::kBatch) {
        const int count = static_cast<int>(std::min<std::size_t>(PolarRounding::kBatch, pairs.size() - first));
        std::int64_t a[PolarRounding::kBatch];
        std::uint64_t N[PolarRounding::kBatch];
        for (int l = 0; l < count; ++l) a[l] = pairs[first + l].a, N[l] = pairs[first + l].N;
        double value[PolarRounding::kBatch];
        bool told[PolarRounding::kBatch];
        rounding.Values(a, N, count, value, told);
        for (int l = 0; l < count; ++l) {
          const std::size_t k = first + l;
          if (level == 0) {
            firstTold[k] = told[l], firstValues[k] = value[l];
          } else {
            ASSERT_EQ(told[l], firstTold[k] != 0) << "level " << level << " pair " << k;
          }
          if (!told[l]) continue;
          ++taken;
          const double chain = StoreDouble(PolarGaussian(a[l] * 0x1p-31L, N[l] * 0x1p-62L, law.mean, law.sd));
          ASSERT_EQ(std::bit_cast<std::uint64_t>(value[l]), std::bit_cast<std::uint64_t>(chain))
              << "mean " << static_cast<double>(law.mean) << " sd " << static_cast<double>(law.sd) << " level "
              << level << " a " << a[l] << " N " << N[l];
        }
      }
      if (law.serves)
        EXPECT_GT(taken, pairs.size() * 9 / 10) << static_cast<double>(law.sd);
      else
        EXPECT_EQ(taken, 0u) << static_cast<double>(law.sd);
    }
}
