#pragma once
// The compact engine's inputs from plain row-major arrays or from the
// block 1..n of the lattice state.

#include <cstdint>
#include <span>
#include <vector>

#include "model/lattice_state.h"
#include "engine/compact_lattice.h"

namespace ebsim {

// exchange, randomField: n x n row by row.
CompactLattice CompactLatticeOf(int n, std::span<const double> exchange, std::span<const double> randomField);
CompactLattice CompactLatticeOf(const LatticeState& lattice, int n);

// The spins as bytes: each must be +1.0, -1.0 or 0.0. A zero spin (of a
// map no set-up has filled) stays zero when it reverses: the sign of the
// zero is never seen, since the flip rule, the sums, the counts and the
// squares all take either zero as zero.
std::vector<std::int8_t> CompactSpinsOf(std::span<const double> spins);
std::vector<std::int8_t> CompactSpinsOf(const LatticeState& lattice, int n);

}  // namespace ebsim
