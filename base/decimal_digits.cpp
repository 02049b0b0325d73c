#include "base/decimal_digits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace ebsim {

namespace {

void DropTrailingZeros(Digits& d) {
  const std::size_t last = d.digits.find_last_not_of('0');
  d.digits.erase(last == std::string::npos ? 1 : last + 1);
}

// Adds one unit in the last digit; 0.999 becomes 0.1 times ten more.
void IncrementLastDigit(Digits& d) {
  for (std::size_t i = d.digits.size(); i-- > 0;) {
    if (d.digits[i] != '9') {
      ++d.digits[i];
      return;
    }
    d.digits[i] = '0';
  }
  d.digits = "1";
  ++d.exponent;
}

}  // namespace

// Cut to `count` digits, the last one rounded up when the first digit cut
// off is 5 or more.
Digits RoundedTo(Digits d, std::size_t count) {
  if (d.digits.size() > count) {
    const bool round_up = d.digits[count] >= '5';
    d.digits.resize(count);
    if (round_up) IncrementLastDigit(d);
  }
  DropTrailingZeros(d);
  return d;
}

constexpr int kScaledDigits = 18;
constexpr std::size_t kSignificantDigits = 15;

// The magnitude scaled to 18 digits (correctly rounded), then to 15. Most
// magnitudes are doubles (stored read-outs): their digits come from the
// double's conversion, exact as the extended one and many times faster.
Digits DecimalDigits(long double magnitude) {
  char buffer[64];
  const double narrow = static_cast<double>(magnitude);
  const auto result =
      static_cast<long double>(narrow) == magnitude
          ? std::to_chars(buffer, buffer + sizeof buffer, narrow, std::chars_format::scientific, kScaledDigits - 1)
          : std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific,
                          kScaledDigits - 1);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  // "d.ddddddddddddddddde+x" or "d.ddddddddddddddddde-x"
  const std::size_t e = text.find('e');
  Digits d;
  d.digits = std::string(1, text[0]) + std::string(text.substr(2, e - 2));
  std::string_view exponent = text.substr(e + 1);
  if (exponent.front() == '+') exponent.remove_prefix(1);
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), d.exponent);
  d.exponent += 1;
  return RoundedTo(d, kSignificantDigits);
}

// d1[.d2...dn]E<exponent - 1>
std::string ExponentForm(const Digits& d, const std::string& separator) {
  std::string text(1, d.digits[0]);
  if (d.digits.size() > 1) text += separator + d.digits.substr(1);
  return text + "E" + std::to_string(d.exponent - 1);
}

std::string FixedForm(const Digits& d, const std::string& separator) {
  if (d.exponent <= 0) {
    return "0" + separator + std::string(static_cast<std::size_t>(-d.exponent), '0') + d.digits;
  }
  const auto integer_length = static_cast<std::size_t>(d.exponent);
  std::string text = d.digits.substr(0, integer_length);
  text.resize(integer_length, '0');
  if (d.digits.size() > integer_length) text += separator + d.digits.substr(integer_length);
  return text;
}

bool UsesExponentForm(const Digits& d) { return d.exponent > 15 || d.exponent < -3; }

std::optional<Normal> NormalValue(long double x) {
  const int kind = std::fpclassify(x);
  if (kind != FP_NORMAL) return std::nullopt;
  return Normal{std::signbit(x), DecimalDigits(std::fabs(x))};
}

std::string SpecialText(long double x) {
  const std::string sign = std::signbit(x) ? "-" : "";
  switch (std::fpclassify(x)) {
    case FP_INFINITE:
      return sign + "INF";
    case FP_NAN:
      return sign + "NAN";
    default:
      return "0";  // zero of either sign, or a denormal
  }
}

std::string NormalText(const Normal& n, const std::string& separator) {
  const std::string sign = n.negative ? "-" : "";
  if (UsesExponentForm(n.digits)) return sign + ExponentForm(n.digits, separator);
  return sign + FixedForm(n.digits, separator);
}

}  // namespace ebsim
