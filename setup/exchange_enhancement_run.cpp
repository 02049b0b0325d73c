#include "setup/exchange_enhancement_run.h"

#include "base/float_checks.h"
#include "form/field_numbers.h"
#include "setup/disorder_set_up.h"
#include "setup/map_cells.h"

namespace ebsim {

// Above 4 the energy square is black.
Color EnergyColour(double energy) { return energy > 4 ? clBlack : clYellow; }

void RunExchangeEnhancement(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                            RandomNumbers& random, const UtcClock& clock) {
  lattice.LatticeSize = 0;
  lattice.EnhancedSiteCount = 0;
  const int n = parameters.Side(kMaxSide);
  lattice.LatticeSize = n;

  port.Drawing().Refresh(Panel::Shape1);
  port.Drawing().Refresh(Panel::Shape3);

  for (SiteMap* map : {&lattice.SpinMap, &lattice.ExchangeMap, &lattice.FmEnergyMap, &lattice.NeighbourFieldMap,
                       &lattice.PrevLocalFieldMap, &lattice.LocalFieldMap})
    map->FillBlock(n, 0.0);

  random.SeedFromClock(clock);
  lattice.SpinMap.FillBlock(n, 1.0);
  MapCells cells(port, parameters, lattice);
  const EnhancedSites sites = DrawEnhancedSites(n, parameters, random, DrawThreads{}, cells);

  port.Drawing().Refresh(Quantity::SurfaceRatio);
  ShowReadout(port, Quantity::SurfaceRatio,
              Divide(lattice.EnhancedSiteCount, static_cast<long double>(n * n)));

  ComputeInitialEnergies(sites, DrawThreads{}, cells);
}

}  // namespace ebsim
