#pragma once
// The compact engine driving a Run on the lattice state: the spins kept in
// SpinMap after every pass, the shown squares drawn after it, and the three
// field maps written as the one-site engine leaves them when asked.

#include <memory>

#include "form/drawing_surface.h"
#include "model/lattice_state.h"
#include "engine/branch.h"
#include "engine/parallel_relaxation.h"

namespace ebsim {

class LatticeRelaxation {
 public:
  // The engine for a Run on the block of side n whose fields never exceed
  // largestField in magnitude; none where some spin is not +1 or -1 or where
  // some local field could overflow (the one-site engine takes those).
  static std::unique_ptr<LatticeRelaxation> For(LatticeState& lattice, int n, long double largestField);

  void InitLocalFields(double H) { engine_.InitLocalFields(H); }
  // One pass; then the changed rows of SpinMap, and the shown squares in
  // row-major order when a surface is given.
  void RelaxPass(double H, Branch branch, DrawingSurface* surface);
  const std::int64_t& SpinSum() const { return engine_.SpinSum(); }

  // NeighbourFieldMap, PrevLocalFieldMap and LocalFieldMap over the block,
  // as the latest pass leaves them.
  void WriteFieldMaps() const;

 private:
  LatticeRelaxation(LatticeState& lattice, CompactLattice compact, int n);

  LatticeState& lattice_;
  ParallelRelaxation engine_;
};

}  // namespace ebsim
