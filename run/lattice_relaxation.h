#pragma once
// The pass-at-a-time engine on the window's site maps: made from the block
// 1..n of the lattice state, and the three field maps written back as the
// visit of one site at a time leaves them.

#include "engine/parallel_relaxation.h"
#include "model/lattice_state.h"

namespace ebsim {

// The engine for a Run on the block of side n: its constants, random
// fields and spins (+1, -1, or 0 where no set-up has put a spin).
ParallelRelaxation RelaxationOnMaps(const LatticeState& lattice, int n);

// NeighbourFieldMap, PrevLocalFieldMap and LocalFieldMap over the block, as
// the latest pass leaves them.
void WriteFieldMaps(const ParallelRelaxation& engine, LatticeState& lattice);

}  // namespace ebsim
