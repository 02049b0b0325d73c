#pragma once
// Floating-point faults raised where they arise. Every input is finite (a
// field's text cannot spell an infinity), so an infinite result is an
// overflow and a NaN an invalid operation.

#include <cmath>
#include <cstdint>

#include "base/errors.h"

namespace ebsim {

// r, or the fault it shows.
inline long double Checked(long double r) {
  if (std::isnan(r)) throw EInvalidOp();
  if (std::isinf(r)) throw EOverflow();
  return r;
}

// a / b in extended precision: x / 0 is a division by zero, 0 / 0 invalid.
inline long double Divide(long double a, long double b) {
  if (b == 0) {
    if (a == 0 || std::isnan(a)) throw EInvalidOp();
    throw EZeroDivide();
  }
  return Checked(a / b);
}

// An extended value stored as a double; too large for a double overflows.
inline double StoreDouble(long double x) {
  const double d = static_cast<double>(Checked(x));
  if (std::isinf(d)) throw EOverflow();
  return d;
}

// Truncation toward zero to a 64-bit integer; out of range is invalid.
inline std::int64_t TruncToInt64(long double x) {
  const long double t = std::trunc(Checked(x));
  if (!(t >= -9223372036854775808.0L && t < 9223372036854775808.0L)) throw EInvalidOp();
  return static_cast<std::int64_t>(t);
}

// Rounding to the nearest 64-bit integer, halves to the even neighbour.
inline std::int64_t RoundToInt64(long double x) {
  const long double r = std::nearbyint(Checked(x));  // default mode: to nearest, ties to even
  if (!(r >= -9223372036854775808.0L && r < 9223372036854775808.0L)) throw EInvalidOp();
  return static_cast<std::int64_t>(r);
}

}  // namespace ebsim
