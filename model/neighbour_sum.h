#pragma once
// The exchange field that computed cell (i, j) of a side-n block receives
// from its neighbours: J(n) S(n) summed in extended precision, in the order
// the edge rules fix, with no wrap-around and neighbours outside the block
// absent. Right and lower for (1, 1); right, lower and left along row 1;
// right, lower and upper down column 1; left, right, upper and lower
// elsewhere. The set-up's exchange energy and the Run's local fields both
// stand on it.

#include "model/lattice_state.h"

namespace ebsim {

inline long double NeighbourSum(const SiteMap& J, const SiteMap& S, int n, int i, int j) {
  auto term = [&](int a, int b) -> long double {
    if (a > n || b > n) return 0;
    return static_cast<long double>(J(a, b)) * S(a, b);
  };
  if (i == 1 && j == 1) return term(1, 2) + term(2, 1);  // with n = 1 both lie outside: +0
  if (i == 1) return term(1, j + 1) + term(2, j) + term(1, j - 1);
  if (j == 1) return term(i, 2) + term(i + 1, 1) + term(i - 1, 1);
  return term(i, j - 1) + term(i, j + 1) + term(i - 1, j) + term(i + 1, j);
}

}  // namespace ebsim
