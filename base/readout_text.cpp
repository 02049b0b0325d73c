#include "base/readout_text.h"

#include <algorithm>

#include "base/decimal_digits.h"
#include "base/number_format.h"
#include "base/utf8.h"

namespace ebsim {

namespace {

std::string PaddedToReadout(std::string text) {
  const std::size_t length = CodePointCount(text);
  if (length < kReadoutWidth) text.append(kReadoutWidth - length, ' ');
  return text;
}

// Fixed notation whose integer part (sign included) fits and whose cut
// keeps a non-zero digit: only fraction digits are lost by cutting it, and
// a non-zero number never shows as zero.
bool FixedTextCuttable(const Normal& n) {
  if (UsesExponentForm(n.digits)) return false;
  const int sign_length = n.negative ? 1 : 0;
  const int integer_length = std::max(n.digits.exponent, 1) + sign_length;
  // Below 1 the first digit stands after "0", the separator and -exponent zeros.
  const int first_digit = n.digits.exponent > 0 ? sign_length : sign_length + 2 - n.digits.exponent;
  return integer_length <= static_cast<int>(kReadoutWidth) && first_digit < static_cast<int>(kReadoutWidth);
}

// Exponent notation with as many mantissa digits as fit; the one-digit form
// is shown whole even when it does not fit.
std::string ShortExponentText(const Normal& n, const std::string& separator) {
  const std::string sign = n.negative ? "-" : "";
  for (std::size_t count = n.digits.digits.size();; --count) {
    const std::string text = sign + ExponentForm(RoundedTo(n.digits, count), separator);
    if (count == 1 || CodePointCount(text) <= kReadoutWidth) return text;
  }
}

}  // namespace

std::string ReadoutText(long double x, const DecimalSeparator& separator) {
  const std::string text = FormatReal(x, separator);
  if (CodePointCount(text) <= kReadoutWidth) return PaddedToReadout(text);
  // Longer texts come from normal numbers only.
  const Normal normal = *NormalValue(x);
  if (FixedTextCuttable(normal)) return FirstCodePoints(text, kReadoutWidth);
  return PaddedToReadout(ShortExponentText(normal, separator.Text()));
}

}  // namespace ebsim
