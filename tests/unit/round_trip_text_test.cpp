#include "base/round_trip_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>

#include "base/json_text.h"
#include "base/number_reading.h"

using namespace ebsim;

namespace {

double ReadBack(const std::string& text) { return static_cast<double>(ReadRealField(text, DecimalSeparator())); }

// The tables' numbers: the shortest digits that strtod (as Python, pandas
// and JSON readers do) reads back as the very double.
TEST(ShortestText, WritesTheShortestDigitsThatReadBackAsTheDouble) {
  const std::pair<double, const char*> cases[] = {
      {0.1 + 0.2, "0.30000000000000004"},
      {-0.0, "-0"},
      {0.0325, "0.0325"},
      {5e-324, "5e-324"},                                    // the least subnormal
      {2.225073858507201e-308, "2.225073858507201e-308"},    // the largest
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {1e23, "1e+23"},
      {-1e-5, "-1e-05"},
      // Extended values rounded to double: the double's digits, never the
      // extended value's ("3.9600000000000064038" reads as the next double).
      {static_cast<double>(3.9600000000000064038L), "3.960000000000006"},
      {static_cast<double>(0.0325L), "0.0325"},
      {static_cast<double>(1.0L / 3), "0.3333333333333333"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& [x, text] : cases) {
    EXPECT_EQ(ShortestText(x), text) << text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(std::strtod(text, nullptr)), std::bit_cast<std::uint64_t>(x)) << text;
  }
}

// The JSON writes its numbers as the tables do, whole ones as floats, and
// reads back as nlohmann wrote it otherwise, keys in their order.
TEST(JsonText, WritesNumbersAsTheTablesDo) {
  const nlohmann::ordered_json value = {{"x", 0.1 + 0.2}, {"one", 1.0}, {"big", 1e23}, {"n", 7}, {"none", nullptr},
                                        {"inf", std::numeric_limits<double>::infinity()}, {"list", {-0.0, true}},
                                        {"text", "a\"b\n\x01"}};
  const std::string text = JsonText(value);
  EXPECT_EQ(text, R"({"x":0.30000000000000004,"one":1.0,"big":1e+23,"n":7,"none":null,"inf":null,"list":[-0.0,true],)"
                  R"("text":"a\"b\n\u0001"})");
  nlohmann::ordered_json back = value;
  back["inf"] = nullptr;
  EXPECT_EQ(nlohmann::ordered_json::parse(text), back);
  EXPECT_TRUE(std::signbit(nlohmann::ordered_json::parse(text)["list"][0].get<double>()));
}

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
