#pragma once
// A finite number's decimal digits as the number writers use them: 15
// significant digits, correctly rounded, in fixed or exponent form.

#include <cstddef>
#include <optional>
#include <string>

namespace ebsim {

// A magnitude as 0.d1 d2 ... dn times 10^exponent, d1 not zero, no trailing
// zeros.
struct Digits {
  std::string digits;
  int exponent = 0;
};

// The digits rounded half up to at most `count` digits.
Digits RoundedTo(Digits d, std::size_t count);
// The magnitude's 15 significant digits.
Digits DecimalDigits(long double magnitude);
// d1[.d2...dn]E<exponent - 1>
std::string ExponentForm(const Digits& d, const std::string& separator);
std::string FixedForm(const Digits& d, const std::string& separator);
// Whether general format writes these digits in exponent form.
bool UsesExponentForm(const Digits& d);

// A finite number too large in magnitude to be zero.
struct Normal {
  bool negative;
  Digits digits;
};

// None for zero, denormals, infinities and NaNs.
std::optional<Normal> NormalValue(long double x);
// The text of a number that is not normal: "0", "INF", "-INF", "NAN".
std::string SpecialText(long double x);
// General format of a normal number.
std::string NormalText(const Normal& n, const std::string& separator);

}  // namespace ebsim
