#pragma once
// The exchange field that cell (i, j) of a side-n block receives from its
// neighbours on the site maps: J(n) S(n) summed in extended precision over
// the neighbours the edge rule gives (engine/edge_rule.h), in its order.
// Under edge copy a cell of row n or column n has the field of the cell it
// repeats.

#include "engine/edge_rule.h"
#include "model/lattice_state.h"

namespace ebsim {

inline long double NeighbourSum(const SiteMap& J, const SiteMap& S, int n, int i, int j,
                                Boundary boundary = Boundary::EdgeCopy) {
  return EdgeRule(n, boundary).SumOverNeighbours(
      i, j, [&](Cell c) { return static_cast<long double>(J(c.i, c.j)) * S(c.i, c.j); });
}

}  // namespace ebsim
