#pragma once
// The overflow checks of a site-by-site pass on a lattice where some sum or
// local field could leave the double range, on the spins as they stand.

#include <cstdint>

#include "engine/compact_lattice.h"
#include "engine/edge_rule.h"

namespace ebsim {

// Whether a neighbour sum or a local field at H could leave the double
// range: only with enormous constants, random fields or applied fields.
bool FieldsMayOverflow(const CompactLattice& lattice, double H);

// Site (i, j)'s neighbour field from spins; raises EOverflow where it left
// the double range.
double CheckedField(const CompactLattice& lattice, const EdgeRule& rule, const std::int8_t* spins, int i, int j);

// After site (i, j) reversed: the computed cells that sum its spin must
// still hold their sums as doubles.
void CheckSumsAround(const CompactLattice& lattice, const EdgeRule& rule, int i, int j, const std::int8_t* spins);

}  // namespace ebsim
