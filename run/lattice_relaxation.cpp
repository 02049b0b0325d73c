#include "run/lattice_relaxation.h"

#include <algorithm>
#include <cfloat>

#include "run/relaxation_inputs.h"
#include "form/panel_geometry.h"
#include "form/run_display.h"

namespace ebsim {

std::unique_ptr<LatticeRelaxation> LatticeRelaxation::For(LatticeState& lattice, int n, long double largestField) {
  if (!SpinsAllSet(lattice, n)) return nullptr;
  CompactLattice compact = CompactLatticeOf(lattice, n);
  if (compact.SumsMayOverflow() || compact.LargestSum() + compact.LargestRandomField() + largestField > DBL_MAX / 2)
    return nullptr;
  return std::unique_ptr<LatticeRelaxation>(new LatticeRelaxation(lattice, std::move(compact), n));
}

LatticeRelaxation::LatticeRelaxation(LatticeState& lattice, CompactLattice compact, int n)
    : lattice_(lattice), engine_(std::move(compact), CompactSpinsOf(lattice, n)) {}

void LatticeRelaxation::RelaxPass(double H, Branch branch, DrawingSurface* surface) {
  engine_.RelaxPass(H, branch);
  const int n = engine_.Side();
  for (int i = 1; i <= n; ++i) {
    if (!engine_.RowChanged(i)) continue;
    const std::int8_t* spins = engine_.SpinRow(i);
    double* row = lattice_.SpinMap.Row(i);
    for (int j = 1; j <= n; ++j) row[j] = spins[j - 1];
  }
  if (!surface) return;
  const int shown = std::min(n, kShownSide);
  for (int i = 1; i <= shown; ++i)
    for (int j = 1; j <= shown; ++j) DrawSpinSquare(*surface, lattice_, i, j);
}

void LatticeRelaxation::WriteFieldMaps() const {
  const int n = engine_.Side();
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const SiteFieldValues v = engine_.SiteFields(i, j);
      lattice_.NeighbourFieldMap(i, j) = v.neighbour;
      lattice_.PrevLocalFieldMap(i, j) = v.previous;
      lattice_.LocalFieldMap(i, j) = v.latest;
    }
  }
}

}  // namespace ebsim
