#pragma once
// The flip rule, the one definition every engine uses and the row kernels
// are tested against: a spin reverses when the product of its two latest
// local fields, formed in extended precision, is below zero on the way
// down, zero or below on the way up. The product of two doubles never
// underflows in extended precision, so the signs of the two fields decide.

#include <cstdint>

#include "engine/branch.h"

namespace ebsim {

// -1, 0 or +1; zero for either zero and for NaN, which the rule treats
// alike.
inline std::int8_t SignOf(double x) { return static_cast<std::int8_t>((x > 0) - (x < 0)); }

// Whether a site whose two latest local fields have these signs reverses.
template <Branch branch>
inline bool Reverses(int previous, int latest) {
  if constexpr (branch == Branch::Descending) return previous * latest < 0;
  return previous * latest <= 0;
}

inline bool Reverses(Branch branch, int previous, int latest) {
  return branch == Branch::Descending ? Reverses<Branch::Descending>(previous, latest)
                                      : Reverses<Branch::Ascending>(previous, latest);
}

}  // namespace ebsim
