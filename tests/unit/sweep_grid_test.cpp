// The values a sweep option stands for, the order of the grid's points, and
// the seeds of the realisations.

#include "batch/sweep_grid.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/errors.h"
#include "form/field_numbers.h"

using namespace ebsim;

namespace {

using Texts = std::vector<std::string>;

class SweepGridTest : public ::testing::Test {};

struct AxisCase {
  Input field;
  char32_t separator;
  std::string value;
  Texts texts;
};

TEST_F(SweepGridTest, ListsAndRangesGiveTheirTexts) {
  const AxisCase cases[] = {
      // One text, and lists: ";" always separates, "," too unless it is the
      // decimal separator.
      {Input::Dilution, U'.', "0.04", {"0.04"}},
      {Input::Dilution, U'.', "0;0.02;0.04", {"0", "0.02", "0.04"}},
      {Input::Dilution, U'.', "0,0.02,0.04", {"0", "0.02", "0.04"}},
      {Input::Dilution, U'.', "0;0.02,0.04", {"0", "0.02", "0.04"}},
      {Input::Dilution, U',', "0;0,02;0,04", {"0", "0,02", "0,04"}},
      {Input::Side, U'.', "10;20;30", {"10", "20", "30"}},
      // Texts are kept as typed, blanks included.
      {Input::FieldSd, U'.', " 2; 2.5", {" 2", " 2.5"}},
      // Ranges include their end when it falls on a step.
      {Input::Dilution, U'.', "0:0.1:0.02", {"0", "0.02", "0.04", "0.06", "0.08", "0.1"}},
      {Input::Dilution, U'.', "0:0.1:0.03", {"0", "0.03", "0.06", "0.09"}},
      {Input::Dilution, U'.', "0:1:0.1", {"0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8", "0.9", "1"}},
      {Input::Side, U'.', "10:50:10", {"10", "20", "30", "40", "50"}},
      {Input::Steps, U'.', "100:300:100", {"100", "200", "300"}},
      {Input::Enhancement, U'.', "1:0:-0.25", {"1", "0.75", "0.5", "0.25", "0"}},
      {Input::H0, U'.', "-3:-1:1", {"-3", "-2", "-1"}},
      {Input::H0, U'.', "2:2:0.5", {"2"}},
      {Input::Dilution, U',', "0,1:0,3:0,1", {"0,1", "0,2", "0,3"}},
  };
  for (const AxisCase& c : cases) {
    EXPECT_EQ(ParseAxisValues(c.field, c.value, DecimalSeparator(c.separator)), c.texts) << c.value;
  }
}

struct RefusedCase {
  Input field;
  char32_t separator;
  std::string value;
  std::string message;
};

TEST_F(SweepGridTest, TextsTheWindowRefusesGiveItsMessage) {
  const RefusedCase cases[] = {
      {Input::Dilution, U'.', "0.04;abc", "'abc' is not a valid floating point value"},
      {Input::Dilution, U'.', "0.04;", "'' is not a valid floating point value"},
      {Input::Dilution, U',', "0.5", "'0.5' is not a valid floating point value"},
      {Input::Side, U'.', "10;12.5", "'12.5' is not a valid integer value"},
      {Input::Steps, U'.', "300;1E3", "'1E3' is not a valid integer value"},
      // A range's values are checked like typed ones.
      {Input::Side, U'.', "10:20:2.5", "'12.5' is not a valid integer value"},
      {Input::Dilution, U'.', "0:x:0.1", "'x' is not a valid floating point value"},
  };
  for (const RefusedCase& c : cases) {
    const DecimalSeparator separator(c.separator);
    try {
      ParseAxisValues(c.field, c.value, separator);
      ADD_FAILURE() << c.value << " was accepted";
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(), c.message) << c.value;
    }
  }
}

TEST_F(SweepGridTest, MalformedRangesAreRefused) {
  const char* const cases[] = {
      "0.1:0:0.05",  // the step leads away from the end
      "0:1:-0.1",    //
      "0:1:0",       // no step
      "0:1",         // two parts
      "0:1:0.1:2",   // four parts
      "0:1E9:1",     // too many values
  };
  for (const char* value : cases) EXPECT_THROW(ParseAxisValues(Input::Dilution, value, DecimalSeparator()), std::invalid_argument) << value;
}

TEST_F(SweepGridTest, PointsRunWithTheLastAxisFastest) {
  const SweepGrid grid({{"side", Input::Side, {"10", "20"}},
                        {"dilution", Input::Dilution, {"0", "0.1", "0.2"}},
                        {"steps", Input::Steps, {"300"}}});
  ASSERT_EQ(grid.PointCount(), 6u);
  const Texts expected[] = {{"10", "0", "300"},   {"10", "0.1", "300"}, {"10", "0.2", "300"},
                            {"20", "0", "300"},   {"20", "0.1", "300"}, {"20", "0.2", "300"}};
  for (std::size_t k = 0; k < grid.PointCount(); ++k) EXPECT_EQ(grid.PointTexts(k), expected[k]) << k;
}

TEST_F(SweepGridTest, PointFieldsSetTheGridTextsOverTheDefaults) {
  const SweepGrid grid({{"side", Input::Side, {"10", "20"}}, {"dilution", Input::Dilution, {"0", "0.1"}}});
  const HeadlessFields fields = grid.PointFields(2);
  EXPECT_EQ(fields.Text(Input::Side), "20");
  EXPECT_EQ(fields.Text(Input::Dilution), "0");
  EXPECT_EQ(fields.Text(Input::Enhancement), "10");
  EXPECT_EQ(fields.Text(Input::FieldSd), "2");
  EXPECT_EQ(fields.Text(Input::H0), "3");
  EXPECT_EQ(fields.Text(Input::Hmin), "-3");
  EXPECT_EQ(fields.Text(Input::Steps), "300");
}

TEST_F(SweepGridTest, RealizationSeedsStrideThroughTheDay) {
  struct Case {
    std::uint32_t seedMs;
    std::uint64_t r;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {0, 0, 0},
      {0, 1, 53398447},
      {0, 2, 20396894},                 // 106796894 - 86400000
      {1000, 1, 53399447},
      {86399999, 0, 86399999},
      {86399999, 1, 53398446},          // wraps past midnight
      {0, 1000, 3247000},               // 53398447000 - 618 * 86400000
      {86399999, 1000, 3246999},
      {12345, 86400000, 12345},         // a whole day of realisations later
      {0, 1000000000000ull, 44800000},  // 53398447e12 mod 86400000
  };
  for (const Case& c : cases) EXPECT_EQ(RealizationSeed(c.seedMs, c.r), c.expected) << c.seedMs << " " << c.r;
}

TEST_F(SweepGridTest, RealizationSeedsDoNotRepeatWithinManyRealizations) {
  std::vector<bool> seen(86400000);
  for (std::uint64_t r = 0; r < 200000; ++r) {
    const std::uint32_t seed = RealizationSeed(4321, r);
    ASSERT_LT(seed, 86400000u);
    ASSERT_FALSE(seen[seed]) << r;
    seen[seed] = true;
  }
}

}  // namespace
