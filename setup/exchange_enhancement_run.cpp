#include "setup/exchange_enhancement_run.h"

#include "base/float_checks.h"
#include "form/field_numbers.h"
#include "form/panel_geometry.h"
#include "model/neighbour_sum.h"

namespace ebsim {

// Above 4 the energy square is black.
Color EnergyColour(double energy) { return energy > 4 ? clBlack : clYellow; }

namespace {

// Gives each cell the enhancement constant where its uniform draw is below
// d, 1.0 elsewhere, and paints it red or white.
void ExchangePass(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                  const BlockMap& draws, int n, double d) {
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      DrawingSurface* surface = port.surface;
      if (surface) surface->SetBrushColor(clWhite);
      if (draws(i, j) < d) {
        // The constant is read again for every enhanced cell.
        lattice.ExchangeMap(i, j) = StoreDouble(parameters.Enhancement());
        ++lattice.EnhancedSiteCount;
        if (surface) surface->SetBrushColor(clRed);
      } else {
        lattice.ExchangeMap(i, j) = 1.0;
      }
      if (surface && IsShown(i, j)) FillSiteSquare(*surface, kExchangePanel, i, j);
    }
  }
}

void EnergyPass(const FormPort& port, LatticeState& lattice, int n) {
  EdgeCopyFill(
      n, lattice.FmEnergyMap, [&](int i, int j) { return StoreDouble(ExchangeEnergy(lattice, n, i, j)); },
      [&](int i, int j) {
        if (!port.surface || !IsShown(i, j)) return;
        port.surface->SetBrushColor(EnergyColour(lattice.FmEnergyMap(i, j)));
        FillSiteSquare(*port.surface, kEnergyPanel, i, j);
      });
}

}  // namespace

long double ExchangeEnergy(const LatticeState& lattice, int n, int i, int j) {
  // The site's spin is +1 or -1 (0 before any set-up), so multiplying the
  // sum by it gives the sum of the terms times it to the bit.
  return NeighbourSum(lattice.ExchangeMap, lattice.SpinMap, n, i, j) * lattice.SpinMap(i, j);
}

void RunExchangeEnhancement(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                            RandomNumbers& random, const UtcClock& clock) {
  lattice.LatticeSize = 0;
  lattice.EnhancedSiteCount = 0;
  const int n = parameters.Side(kMaxSide);
  lattice.LatticeSize = n;

  port.Drawing().Refresh(Panel::Shape1);
  port.Drawing().Refresh(Panel::Shape3);

  BlockMap draws(n);  // one uniform value per cell, for this run only
  for (SiteMap* map : {&lattice.SpinMap, &lattice.ExchangeMap, &lattice.FmEnergyMap, &lattice.NeighbourFieldMap,
                       &lattice.PrevLocalFieldMap, &lattice.LocalFieldMap})
    map->FillBlock(n, 0.0);

  random.SeedFromClock(clock);
  lattice.SpinMap.FillBlock(n, 1.0);
  EdgeCopyFill(n, draws, [&](int, int) { return static_cast<double>(random.UniformRandom()); });

  const double d = StoreDouble(parameters.Dilution());
  ExchangePass(port, parameters, lattice, draws, n, d);

  port.Drawing().Refresh(Quantity::SurfaceRatio);
  ShowReadout(port, Quantity::SurfaceRatio,
              Divide(lattice.EnhancedSiteCount, static_cast<long double>(n * n)));

  EnergyPass(port, lattice, n);
}

}  // namespace ebsim
