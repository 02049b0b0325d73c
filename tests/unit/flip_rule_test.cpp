// The flip rule: from the signs of a site's two latest local fields, as
// the product of the fields in extended precision decides it, and as every
// instruction set's row kernels reverse whole rows by it.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/flip_rule.h"
#include "engine/row_kernels.h"

using namespace ebsim;

namespace {

constexpr Branch kDown = Branch::Descending;
constexpr Branch kUp = Branch::Ascending;

TEST(FlipRuleTest, SignsDecideAsTheExtendedProductDoes) {
  struct Case {
    double previous, latest;
    bool downFlips, upFlips;
  };
  const double tiny = 4.9406564584124654e-324;  // the smallest subnormal
  const Case cases[] = {
      {1.0, 1.0, false, false},
      {-2.0, -0.5, false, false},
      {1.0, -1.0, true, true},
      {-1.0, 1.0, true, true},
      // A zero product keeps the spin on the way down and reverses it on the
      // way up, whatever the zero's sign.
      {0.0, 1.0, false, true},
      {1.0, 0.0, false, true},
      {0.0, 0.0, false, true},
      {-0.0, 1.0, false, true},
      {-1.0, -0.0, false, true},
      // Formed in extended precision the product of two subnormals does
      // not vanish.
      {tiny, -tiny, true, true},
      {-tiny, -tiny, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.previous) + " " + std::to_string(c.latest));
    const long double product = static_cast<long double>(c.previous) * c.latest;
    EXPECT_EQ(product < 0, c.downFlips);
    EXPECT_EQ(product <= 0, c.upFlips);
    EXPECT_EQ(Reverses<kDown>(SignOf(c.previous), SignOf(c.latest)), c.downFlips);
    EXPECT_EQ(Reverses<kUp>(SignOf(c.previous), SignOf(c.latest)), c.upFlips);
    EXPECT_EQ(Reverses(kDown, SignOf(c.previous), SignOf(c.latest)), c.downFlips);
    EXPECT_EQ(Reverses(kUp, SignOf(c.previous), SignOf(c.latest)), c.upFlips);
  }
}

// Rows shorter than a block, of whole blocks, and with an overlapping last
// block, every pair of signs and every spin (zero stays zero).
TEST(FlipRuleTest, RowKernelsReverseByTheRule) {
  std::mt19937_64 rng(19);
  std::uniform_int_distribution<int> three(-1, 1);
  int cases = 0;
  for (const SimdLevel level : {SimdLevel::Portable, SimdLevel::Avx2, SimdLevel::Avx512}) {
    if (!SimdLevelSupported(level)) continue;
    const RowKernels& kernels = KernelsFor(level);
    for (const Branch branch : {kDown, kUp}) {
      for (const int count : {1, 5, 15, 16, 31, 32, 63, 64, 67, 130, 1000}) {
        SCOPED_TRACE(std::string(SimdLevelName(level)) + (branch == kUp ? " up " : " down ") + std::to_string(count));
        std::vector<std::int8_t> previous(static_cast<std::size_t>(count)), latest(previous), old(previous),
            out(previous.size(), 7);
        for (std::size_t j = 0; j < previous.size(); ++j) {
          previous[j] = static_cast<std::int8_t>(three(rng));
          latest[j] = static_cast<std::int8_t>(three(rng));
          old[j] = static_cast<std::int8_t>(three(rng));
        }
        // One of each of the 27 combinations at the start of longer rows.
        for (int k = 0; k < 27 && k < count; ++k) {
          previous[static_cast<std::size_t>(k)] = static_cast<std::int8_t>(k % 3 - 1);
          latest[static_cast<std::size_t>(k)] = static_cast<std::int8_t>(k / 3 % 3 - 1);
          old[static_cast<std::size_t>(k)] = static_cast<std::int8_t>(k / 9 - 1);
        }
        const auto reverse = branch == kDown ? kernels.reverseDescending : kernels.reverseAscending;
        const RowReversal r = reverse(previous.data(), latest.data(), old.data(), out.data(), count);
        std::int64_t change = 0;
        bool changed = false;
        for (std::size_t j = 0; j < previous.size(); ++j) {
          const int want = Reverses(branch, previous[j], latest[j]) ? -old[j] : old[j];
          ASSERT_EQ(out[j], want) << j;
          change += want - old[j];
          changed |= want != old[j];
        }
        EXPECT_EQ(r.change, change);
        EXPECT_EQ(r.changed, changed);
        ++cases;
      }
    }
  }
  EXPECT_GE(cases, 22);
}

}  // namespace
