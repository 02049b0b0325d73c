#pragma once
// A site's local field.

#include <cmath>

#include "base/errors.h"

namespace ebsim {

// The local field (neighbour field + random field) + H, stored; checked for
// overflow unless no local field can overflow.
template <bool mayOverflow = true>
inline double LocalField(double neighbourField, double randomField, double H) {
  const double local = static_cast<double>((static_cast<long double>(neighbourField) + randomField) + H);
  if (mayOverflow && std::isinf(local)) throw EOverflow();
  return local;
}

}  // namespace ebsim
