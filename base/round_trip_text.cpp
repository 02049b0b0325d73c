#include "base/round_trip_text.h"

#include <charconv>
#include <cmath>

#include "base/number_reading.h"

namespace ebsim {

namespace {

bool ReadsBack(const std::string& text, double x) {
  return static_cast<double>(ReadRealField(text, DecimalSeparator())) == x;
}

}  // namespace

std::string ShortestText(double x) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, x).ptr);
}

std::string RoundTripText(double x) {
  char buffer[64];
  std::string text = ShortestText(x);
  if (!std::isfinite(x) || ReadsBack(text, x)) return text;
  for (int digits = 17; digits < 21; ++digits) {
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, digits).ptr;
    text.assign(buffer, end);
    if (ReadsBack(text, x)) return text;
  }
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 21).ptr;
  return std::string(buffer, end);
}

}  // namespace ebsim
