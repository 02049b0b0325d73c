#include "form/field_numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/decimal_digits.h"
#include "base/errors.h"
#include "form/catalogue.h"

using namespace ebsim;

namespace {

// U+066B ARABIC DECIMAL SEPARATOR: two bytes in UTF-8.
constexpr char32_t kArabicSeparator = U'\u066B';
const std::string kArabicSeparatorText = "\xD9\xAB";

// The separator the cases read and write with.
DecimalSeparator separator_in_use;
void SetDecimalSeparator(char32_t c) { separator_in_use = DecimalSeparator(c); }
long double ReadRealField(const std::string& text) { return ebsim::ReadRealField(text, separator_in_use); }
std::string FormatReal(long double x) { return ebsim::FormatReal(x, separator_in_use); }
std::string ReadoutText(long double x) { return ebsim::ReadoutText(x, separator_in_use); }

class NumericFieldsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetDecimalSeparator(U'.'); }
};

// The message of the conversion error that `read` raises.
template <typename Read>
std::string ConvertErrorMessage(Read read) {
  try {
    read();
  } catch (const EConvertError& error) {
    return error.Message();
  }
  return "(no error)";
}

std::string IntegerErrorMessage(const std::string& text) {
  return ConvertErrorMessage([&] { ReadIntegerField(text); });
}

std::string RealErrorMessage(const std::string& text) {
  return ConvertErrorMessage([&] { ReadRealField(text); });
}

TEST_F(NumericFieldsTest, IntegerTextsThatRead) {
  const std::vector<std::pair<std::string, std::int32_t>> cases = {
      {"20", 20},
      {" 20", 20},
      {"   -5", -5},
      {"+5", 5},
      {"007", 7},
      {"0", 0},
      {"-0", 0},
      {"$1F", 31},
      {"x1F", 31},
      {"X1F", 31},
      {"0x1F", 31},
      {"0X1f", 31},
      {"$abcdef", 0xABCDEF},
      {"$FFFFFFFF", -1},
      {"$7FFFFFFF", 2147483647},
      {"$80000000", -2147483647 - 1},
      {"$0FFFFFFFF", -1},  // leading zeros do not count towards the 8 digits
      {"$000000000001", 1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"0000000002147483647", 2147483647},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE("text: '" + text + "'");
    EXPECT_EQ(ReadIntegerField(text), expected);
  }
}

TEST_F(NumericFieldsTest, IntegerTextsThatFailQuoteTheTextUnchanged) {
  const std::vector<std::string> cases = {
      "",          "   ",         "20 ",        "2 0",         "-$1F",        "1.0",
      "+ 5",       "+",           "-",          "$",           "x",           "0x",
      "$1G",       "$ 1",         "0x1F ",      "$100000000",  "$1FFFFFFFF",  "2147483648",
      "-2147483649", "99999999999", "\t20",      "20\t",        "1e3",         "--5",
      "0y1",       "\xD9\xAB" "1",
  };
  for (const auto& text : cases) {
    SCOPED_TRACE("text: '" + text + "'");
    EXPECT_EQ(IntegerErrorMessage(text), "'" + text + "' is not a valid integer value");
  }
}

TEST_F(NumericFieldsTest, ErrorBoxAddsFullStopOnlyAfterCharactersAboveIt) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"'' is not a valid integer value", "'' is not a valid integer value."},
      {"'abc' is not a valid floating point value", "'abc' is not a valid floating point value."},
      {"Floating point overflow", "Floating point overflow."},
      {"ends in a stop.", "ends in a stop."},
      {"(bracket)", "(bracket)"},
      {"dash-", "dash-"},
      {"slash/", "slash/."},
      {"digit 0", "digit 0."},
      {"", ""},
  };
  for (const auto& [message, shown] : cases) {
    SCOPED_TRACE("message: '" + message + "'");
    EXPECT_EQ(ErrorBoxText(message), shown);
  }
}

struct RealCase {
  char32_t separator;
  std::string text;
  long double value;
};

TEST_F(NumericFieldsTest, RealTextsThatRead) {
  const std::vector<RealCase> cases = {
      {U'.', " 0.04 ", 0.04L},
      {U'.', "0.04", 0.04L},
      {U'.', "1e3", 1000.0L},
      {U'.', "+.5", 0.5L},
      {U'.', ".5", 0.5L},
      {U'.', "5.", 5.0L},
      {U'.', ".", 0.0L},
      {U'.', "1E", 1.0L},
      {U'.', "1E+", 1.0L},
      {U'.', "1E+2", 100.0L},
      {U'.', "1e-2", 0.01L},
      {U'.', "-12.5   ", -12.5L},
      {U'.', "   3.25E1", 32.5L},
      {U'.', "1E499", 1E499L},
      {U'.', "1E500", 1E500L},
      {U'.', "1E0500", 1E500L},
      {U'.', "1E00005", 1E5L},
      {U'.', "1.5E-4", 1.5E-4L},
      {U'.', "0.1", 0.1L},
      {U'.', "123456789012345678901234567890", 123456789012345678901234567890.0L},
      {U'.', "1.18973149535723176502E4932", LDBL_MAX},
      {U'.', "1E4932", 1E4932L},
      {U'.', "0E4999", 0.0L},
      {U'.', "1E-4999", 0.0L},  // underflow is quietly zero
      {U'.', "3.64519953188247460253E-4951", std::numeric_limits<long double>::denorm_min()},
      {U',', "1,5", 1.5L},
      {U',', " 0,04 ", 0.04L},
      {U',', ",5", 0.5L},
      {U',', ",", 0.0L},
      {U',', "1e3", 1000.0L},
      {kArabicSeparator, "0" + kArabicSeparatorText + "04", 0.04L},
      {kArabicSeparator, kArabicSeparatorText, 0.0L},
  };
  for (const auto& [separator, text, value] : cases) {
    SCOPED_TRACE("text: '" + text + "'");
    SetDecimalSeparator(separator);
    EXPECT_EQ(ReadRealField(text), value);
  }
}

TEST_F(NumericFieldsTest, MinusZeroReadsAsNegativeZero) {
  for (const std::string text : {"-0", "-.", " -0.000E7 "}) {
    SCOPED_TRACE("text: '" + text + "'");
    const long double value = ReadRealField(text);
    EXPECT_EQ(value, 0.0L);
    EXPECT_TRUE(std::signbit(value));
  }
}

TEST_F(NumericFieldsTest, RealTextsThatFailQuoteTheTextUnchanged) {
  const std::vector<std::pair<char32_t, std::string>> cases = {
      {U'.', ""},
      {U'.', "   "},
      {U'.', "E5"},
      {U'.', "+E5"},
      {U'.', "+"},
      {U'.', "-"},
      {U'.', "1,5"},
      {U'.', "1.5.2"},
      {U'.', "1 5"},
      {U'.', "1E5000"},
      {U'.', "1E-5000"},
      {U'.', "0E5000"},
      {U'.', "2E4932"},  // beyond the extended range
      {U'.', "99999999999E4930"},
      {U'.', "1E2.5"},
      {U'.', "1EE2"},
      {U'.', "1E+-2"},
      {U'.', "$1"},
      {U'.', "0x1"},
      {U'.', "INF"},
      {U'.', "NAN"},
      {U'.', "\t1"},
      {U'.', "1\t"},
      {U'.', "1e3x"},
      {U',', "0.04"},
      {U',', "1,5,2"},
      {kArabicSeparator, "0.5"},
      {kArabicSeparator, "0\xD9"},  // half of the separator
  };
  for (const auto& [separator, text] : cases) {
    SCOPED_TRACE("text: '" + text + "'");
    SetDecimalSeparator(separator);
    EXPECT_EQ(RealErrorMessage(text), "'" + text + "' is not a valid floating point value");
  }
}

TEST_F(NumericFieldsTest, FormatRealGeneralFormat) {
  const std::vector<std::pair<long double, std::string>> cases = {
      {0.0425L, "0.0425"},
      {0.0001L, "0.0001"},
      {0.00001L, "1E-5"},
      {0.000999L, "0.000999"},
      {0.0000999L, "9.99E-5"},
      {1.0L / 3, "0.333333333333333"},
      {2.0L / 3, "0.666666666666667"},
      {-12.5L, "-12.5"},
      {100.0L, "100"},
      {1.0L, "1"},
      {-0.25L, "-0.25"},
      {999999999999999.0L, "999999999999999"},
      {123456789012345.0L, "123456789012345"},
      {1E15L, "1E15"},
      {1234567890123456.0L, "1.23456789012346E15"},
      {1.5E20L, "1.5E20"},
      {-2.5E-7L, "-2.5E-7"},
      {1E-300L, "1E-300"},
      {1E4931L, "1E4931"},
      {LDBL_MAX, "1.18973149535723E4932"},
      {-LDBL_MIN, "-3.36210314311209E-4932"},
      {static_cast<long double>(0.1), "0.1"},
      // Rounding at the 15th digit, with carries into the next power of ten.
      {0.9999999999999999L, "1"},
      {0.999999999999999L, "0.999999999999999"},
      {0.99999999999999949L, "0.999999999999999"},
      {999999.9999999999L, "1000000"},
      {999999999999999.9L, "1E15"},
      {-0.00099999999999999999L, "-0.001"},
      {0.000099999999999999999L, "0.0001"},
      {9.9999999999999999E-5L, "0.0001"},
      // 18 digits first: ...4549999|9 becomes ...455, then 15 digits round up.
      {0.1234567890123454999999L, "0.123456789012346"},
  };
  for (const auto& [x, text] : cases) {
    SCOPED_TRACE("expected: " + text);
    EXPECT_EQ(FormatReal(x), text);
  }
}

// A magnitude that is a double takes the double's conversion: its digits
// must be those the extended conversion (here printf's) gives, over every
// exponent, with half-way cases for the 18th and the 15th digit.
TEST_F(NumericFieldsTest, DigitsOfDoublesAreThoseOfTheirExtendedValue) {
  const auto reference = [](long double m) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17Le", m);
    Digits d;
    d.digits = std::string(1, text[0]) + std::string(text + 2, std::strchr(text, 'e'));
    d.exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
    return RoundedTo(d, 15);
  };
  std::vector<double> cases = {0.1, 1.0 / 3, 2.0 / 3, DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 9.5e-10, 0.125,
                               1.000000000000005, 1.0000000000000005, 999999999999999.5, 123456789012345678.0};
  std::uint64_t bits = 0x9E3779B97F4A7C15u;
  while (cases.size() < 200000) {
    bits = bits * 6364136223846793005u + 1442695040888963407u;
    const double x = std::fabs(std::bit_cast<double>(bits));
    if (std::isfinite(x) && x != 0) cases.push_back(x);
  }
  for (const double x : cases) {
    const Digits got = DecimalDigits(x);
    const Digits want = reference(x);
    ASSERT_EQ(got.digits, want.digits) << std::hexfloat << x;
    ASSERT_EQ(got.exponent, want.exponent) << std::hexfloat << x;
  }
  // Not a double: the extended conversion.
  EXPECT_EQ(DecimalDigits(1.0L + LDBL_EPSILON).digits, "1");
  EXPECT_EQ(DecimalDigits(0.1L).digits, reference(0.1L).digits);
}

TEST_F(NumericFieldsTest, FormatRealSpecialValues) {
  const long double inf = std::numeric_limits<long double>::infinity();
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const std::vector<std::pair<long double, std::string>> cases = {
      {0.0L, "0"},
      {-0.0L, "0"},
      {inf, "INF"},
      {-inf, "-INF"},
      {std::copysign(nan, 1.0L), "NAN"},
      {std::copysign(nan, -1.0L), "-NAN"},
      {LDBL_MIN / 4, "0"},
      {-std::numeric_limits<long double>::denorm_min(), "0"},
  };
  for (const auto& [x, text] : cases) {
    SCOPED_TRACE("expected: " + text);
    EXPECT_EQ(FormatReal(x), text);
  }
}

TEST_F(NumericFieldsTest, FormatRealWritesTheCurrentSeparator) {
  const std::vector<std::tuple<char32_t, long double, std::string>> cases = {
      {U',', 0.0425L, "0,0425"},
      {U',', -12.5L, "-12,5"},
      {U',', 1.5E20L, "1,5E20"},
      {U',', 100.0L, "100"},
      {kArabicSeparator, 2.5E-7L, "2" + kArabicSeparatorText + "5E-7"},
  };
  for (const auto& [separator, x, text] : cases) {
    SCOPED_TRACE("expected: " + text);
    SetDecimalSeparator(separator);
    EXPECT_EQ(FormatReal(x), text);
  }
}

TEST_F(NumericFieldsTest, DecimalSeparatorAsUtf8) {
  const std::vector<std::tuple<char32_t, char32_t, std::string>> cases = {
      {U',', U',', ","},
      {U'\u00B7', U'\u00B7', "\xC2\xB7"},
      {kArabicSeparator, kArabicSeparator, kArabicSeparatorText},
      {U'\U0001D7CE', U'\U0001D7CE', "\xF0\x9D\x9F\x8E"},
      {0, U'.', "."},  // no separator given
      {0xD800, U'.', "."},
      {0x110000, U'.', "."},
  };
  for (const auto& [given, kept, text] : cases) {
    SCOPED_TRACE("expected: " + text);
    const DecimalSeparator separator(given);
    EXPECT_EQ(separator.CodePoint(), kept);
    EXPECT_EQ(separator.Text(), text);
  }
}

TEST_F(NumericFieldsTest, ReadoutTextKeepsTheMagnitude) {
  const long double inf = std::numeric_limits<long double>::infinity();
  const std::vector<std::pair<long double, std::string>> cases = {
      // Short texts are padded.
      {0.0L, "0    "},
      {0.5L, "0.5  "},
      {-0.25L, "-0.25"},
      {-12.5L, "-12.5"},
      {1E-5L, "1E-5 "},
      {1E15L, "1E15 "},
      {inf, "INF  "},
      {-inf, "-INF "},
      {-std::numeric_limits<long double>::quiet_NaN(), "-NAN "},
      // Fixed texts lose fraction digits only.
      {0.0425L, "0.042"},
      {12345.6L, "12345"},
      {-1234.56L, "-1234"},
      {-0.025L, "-0.02"},
      {2.0L / 3, "0.666"},
      {0.0012L, "0.001"},
      // ... but never a non-zero number shown as zero.
      {0.0005L, "5E-4 "},
      {0.000494L, "5E-4 "},
      {-0.00012345L, "-1E-4"},
      {0.00099999L, "1E-3 "},
      {-0.0025L, "-3E-3"},
      // Otherwise a rounded exponent form.
      {123456.0L, "1.2E5"},
      {-123456.0L, "-1E5 "},
      {-100000.0L, "-1E5 "},
      {1040000.0L, "1E6  "},
      {2.5E-7L, "3E-7 "},
      {1.11111111111111E-5L, "1E-5 "},
      {-8.88888888888889E-5L, "-9E-5"},
      {1.5E20L, "2E20 "},
      {-2.5E-17L, "-3E-17"},
      {999999999999999.0L, "1E15 "},
      // Carries that change the exponent's length.
      {9960000000.0L, "1E10 "},
      {9.5E99L, "1E100"},
      {9.5E999L, "1E1000"},
      {-9.5E-10L, "-1E-9"},
      {9.5E-100L, "1E-99"},
      {-9.5E-100L, "-1E-99"},
  };
  for (const auto& [x, text] : cases) {
    SCOPED_TRACE("expected: '" + text + "'");
    EXPECT_EQ(ReadoutText(x), text);
  }
}

TEST_F(NumericFieldsTest, ReadoutTextCountsCharactersNotBytes) {
  const std::string sep = kArabicSeparatorText;
  const std::vector<std::pair<long double, std::string>> cases = {
      {0.5L, "0" + sep + "5  "},
      {0.0425L, "0" + sep + "042"},
      {-0.25L, "-0" + sep + "25"},
      {123456.0L, "1" + sep + "2E5"},
      {2.5E-7L, "3E-7 "},
  };
  SetDecimalSeparator(kArabicSeparator);
  for (const auto& [x, text] : cases) {
    SCOPED_TRACE("expected: '" + text + "'");
    EXPECT_EQ(ReadoutText(x), text);
  }
}

class RecordingReadouts : public ReadoutFields, public FieldTexts {
 public:
  std::string Text(Input) const override { return ""; }
  DecimalSeparator Separator() const override { return {}; }
  // Logs the window's read-out by its number.
  void SetReadout(Quantity quantity, const ReadoutValue& shown) override {
    const int field = static_cast<int>(ReadoutOf(quantity).control);
    if (shown.value) calls.push_back("value " + std::to_string(field) + " " + FormatReal(*shown.value));
    calls.push_back("text " + std::to_string(field) + " '" + shown.text + "'");
  }
  std::vector<std::string> calls;
};

TEST_F(NumericFieldsTest, ShowReadoutCarriesTheValueWithTheText) {
  RecordingReadouts readouts;
  NullSurface surface;
  ShowReadout({readouts, readouts, &surface}, Quantity::EbShift, 123456.0L);
  EXPECT_EQ(readouts.calls,
            (std::vector<std::string>{"value 2 123456", "text 2 '1.2E5'"}));
}

}  // namespace
