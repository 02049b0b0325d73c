// Rows handed between processes come back with every field, read-outs to
// the last bit, and bytes that are not a whole row are refused.

#include "batch/sweep_row_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

using namespace ebsim;

namespace {

void ExpectSameRow(const SweepRow& a, const SweepRow& b) {
  EXPECT_EQ(a.index, b.index);
  EXPECT_EQ(a.point, b.point);
  EXPECT_EQ(a.realization, b.realization);
  EXPECT_EQ(a.seedMs, b.seedMs);
  for (std::size_t k = 0; k < kQuantityCount; ++k) {
    ASSERT_EQ(a.readouts[k].has_value(), b.readouts[k].has_value()) << k;
    if (a.readouts[k] && std::isnan(*a.readouts[k])) {
      EXPECT_TRUE(std::isnan(*b.readouts[k])) << k;
    } else if (a.readouts[k]) {
      EXPECT_EQ(*a.readouts[k], *b.readouts[k]) << k;
    }
  }
  EXPECT_EQ(a.descendingSteps, b.descendingSteps);
  EXPECT_EQ(a.ascendingSteps, b.ascendingSteps);
  EXPECT_EQ(a.error, b.error);
  ASSERT_EQ(a.loop.size(), b.loop.size());
  for (std::size_t k = 0; k < a.loop.size(); ++k) {
    EXPECT_EQ(a.loop[k].branch, b.loop[k].branch);
    EXPECT_EQ(a.loop[k].H, b.loop[k].H);
    EXPECT_EQ(a.loop[k].M, b.loop[k].M);
    EXPECT_EQ(a.loop[k].flips, b.loop[k].flips);
    EXPECT_EQ(a.loop[k].cycle, b.loop[k].cycle);
  }
  EXPECT_EQ(a.spins, b.spins);
  EXPECT_EQ(a.stepSpins, b.stepSpins);
  EXPECT_EQ(a.side, b.side);
}

std::vector<SweepRow> Rows() {
  SweepRow plain;  // every field at its default: no read-outs at all
  SweepRow full;
  full.index = (std::uint64_t{1} << 40) + 7;
  full.point = 123456;
  full.realization = 99;
  full.seedMs = 86399999;
  for (std::size_t k = 0; k < kQuantityCount; ++k)
    if (k % 3) full.readouts[k] = 1.0 / 3 + static_cast<double>(k);
  full.readouts[1] = -std::numeric_limits<double>::denorm_min();
  full.readouts[2] = std::numeric_limits<double>::quiet_NaN();
  full.descendingSteps = 151;
  full.ascendingSteps = -1;
  full.error = std::string("Tab\"le, \0 und \xc3\xa4", 17);
  full.loop = {{Branch::Descending, 3.0, 1.0}, {Branch::Ascending, -0.1, -0.999, 3, 2}};
  full.stepSpins = {{0, {1, 1, -1, 1}}, {(std::int64_t{1} << 40), {-1, 1, -1, 1}}};
  full.spins = {1, -1, -1, 1};
  full.side = 2;
  SweepRow failed;
  failed.error = "Value is out of range";
  failed.spins = std::vector<std::int8_t>(300 * 300, -1);
  failed.side = 300;
  return {plain, full, failed};
}

TEST(SweepRowCodecTest, RowsComeBackWholeAndCutBytesAreRefused) {
  for (const SweepRow& row : Rows()) {
    const std::string bytes = EncodeSweepRow(row);
    ExpectSameRow(DecodeSweepRow(bytes), row);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, bytes.size() / 2, bytes.size() - 1})
      EXPECT_THROW(DecodeSweepRow(std::string_view(bytes).substr(0, cut)), std::runtime_error) << cut;
    EXPECT_THROW(DecodeSweepRow(bytes + '\0'), std::runtime_error);
  }
}

}  // namespace
