#include "base/round_trip_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>

#include "base/number_reading.h"

using namespace ebsim;

namespace {

double ReadBack(const std::string& text) { return static_cast<double>(ReadRealField(text, DecimalSeparator())); }

TEST(RoundTripText, WritesWhatPythonsReprWrites) {
  const std::pair<double, const char*> cases[] = {
      {0.04, "0.04"}, {-3, "-3"}, {0.1, "0.1"}, {1e-5, "1e-05"}, {1e22, "1e+22"}, {123456.789, "123456.789"},
      {5e-324, "5e-324"}, {1.7976931348623157e308, "1.7976931348623157e+308"}};
  for (const auto& [x, text] : cases) EXPECT_EQ(RoundTripText(x), text) << x;
}

// Bit patterns spread over every exponent, subnormals included.
TEST(RoundTripText, EveryFiniteDoubleReadsBack) {
  std::mt19937_64 bits(20240611);
  for (int k = 0; k < 200000; ++k) {
    const std::uint64_t exponent = std::uint64_t(k % 0x7FF) << 52;  // below 0x7FF: finite
    const double x = std::bit_cast<double>((bits() & ~(std::uint64_t{0x7FF} << 52)) | exponent);
    const std::string text = RoundTripText(x);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(ReadBack(text)), std::bit_cast<std::uint64_t>(x)) << text;
  }
}

}  // namespace
