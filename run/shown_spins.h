#pragma once
// The spins a Run keeps beside its engine, in the lattice state's SpinMap,
// and the spin panel's squares drawn from them after every relaxation: the
// squares of the sites it had done with, in row-major order, as a Run that
// drew each square at its site's visit leaves the panel (a site changes
// only at its visit, and one that raised leaves the later squares as the
// relaxation before drew them).

#include <cstddef>
#include <cstdint>

#include "engine/dynamics.h"
#include "form/drawing_surface.h"
#include "model/lattice_state.h"

namespace ebsim {

class ShownSpins {
 public:
  // Rows and columns 1..kept of SpinMap follow the engine (none: 0); the
  // squares are drawn on the surface when there is one.
  ShownSpins(LatticeState& lattice, int kept, DrawingSurface* surface)
      : lattice_(lattice), kept_(kept), surface_(surface) {}

  // Every kept row, as the Run starts.
  template <Dynamics D>
  void Take(const D& dynamics) {
    for (int i = 1; i <= kept_; ++i) Copy(i, dynamics.SpinRow(i));
  }

  // After a relaxation, also one that raised: the rows it changed, then
  // the squares.
  template <Dynamics D>
  void Follow(const D& dynamics) {
    for (int i = 1; i <= kept_; ++i)
      if (dynamics.RowChanged(i)) Copy(i, dynamics.SpinRow(i));
    if (surface_) Draw(dynamics.Side(), dynamics.SitesDone());
  }

 private:
  void Copy(int i, const std::int8_t* spins);
  void Draw(int n, std::size_t sitesDone);

  LatticeState& lattice_;
  const int kept_;
  DrawingSurface* const surface_;
};

}  // namespace ebsim
