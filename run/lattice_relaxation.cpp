#include "run/lattice_relaxation.h"

#include "run/relaxation_inputs.h"

namespace ebsim {

ParallelRelaxation RelaxationOnMaps(const LatticeState& lattice, int n) {
  return ParallelRelaxation(CompactLatticeOf(lattice, n), CompactSpinsOf(lattice, n));
}

void WriteFieldMaps(const ParallelRelaxation& engine, LatticeState& lattice) {
  const int n = engine.Side();
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const SiteFieldValues v = engine.SiteFields(i, j);
      lattice.NeighbourFieldMap(i, j) = v.neighbour;
      lattice.PrevLocalFieldMap(i, j) = v.previous;
      lattice.LocalFieldMap(i, j) = v.latest;
    }
  }
}

}  // namespace ebsim
