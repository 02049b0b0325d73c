#pragma once
// A site's local field and what the flip test takes from it.

#include <cmath>
#include <cstdint>

#include "base/errors.h"
#include "engine/branch.h"

namespace ebsim {

// The local field (neighbour field + random field) + H, stored; checked for
// overflow unless no local field can overflow.
template <bool mayOverflow = true>
inline double LocalField(double neighbourField, double randomField, double H) {
  const double local = static_cast<double>((static_cast<long double>(neighbourField) + randomField) + H);
  if (mayOverflow && std::isinf(local)) throw EOverflow();
  return local;
}

// -1, 0 or +1; zero for either zero and for NaN, which the flip test treats
// alike.
inline std::int8_t SignOf(double x) { return static_cast<std::int8_t>((x > 0) - (x < 0)); }

// Whether a site whose two latest local fields have these signs reverses:
// their product, formed in extended precision, is below zero on the way
// down, zero or below on the way up. The product of two doubles never
// underflows in extended precision, so the signs decide.
template <Branch branch>
inline bool Reverses(int previous, int latest) {
  if constexpr (branch == Branch::Descending) return previous * latest < 0;
  return previous * latest <= 0;
}

}  // namespace ebsim
