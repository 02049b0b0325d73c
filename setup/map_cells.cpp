#include "setup/map_cells.h"

#include "base/float_checks.h"
#include "form/panel_geometry.h"
#include "setup/exchange_enhancement_run.h"

namespace ebsim {

std::optional<double> MapCells::ExchangeRow(int i, std::span<const std::uint8_t> enhanced, int) {
  std::optional<double> constant;
  DrawingSurface* surface = port_.surface;
  for (int j = 1; j <= static_cast<int>(enhanced.size()); ++j) {
    if (surface) surface->SetBrushColor(clWhite);
    if (enhanced[static_cast<std::size_t>(j - 1)]) {
      lattice_.ExchangeMap(i, j) = StoreDouble(parameters_.Enhancement());
      constant = lattice_.ExchangeMap(i, j);
      ++lattice_.EnhancedSiteCount;
      if (surface) surface->SetBrushColor(clRed);
    } else {
      lattice_.ExchangeMap(i, j) = 1.0;
    }
    if (surface && IsShown(i, j)) FillSiteSquare(*surface, kExchangePanel, i, j);
  }
  return constant;
}

void MapCells::EnergyRow(int i, std::span<const double> energies) {
  for (int j = 1; j <= static_cast<int>(energies.size()); ++j) {
    lattice_.FmEnergyMap(i, j) = energies[static_cast<std::size_t>(j - 1)];
    if (!port_.surface || !IsShown(i, j)) continue;
    port_.surface->SetBrushColor(EnergyColour(lattice_.FmEnergyMap(i, j)));
    FillSiteSquare(*port_.surface, kEnergyPanel, i, j);
  }
}

void MapCells::RandomFieldRow(int i, std::span<const double> fields) {
  for (int j = 1; j <= static_cast<int>(fields.size()); ++j) lattice_.QrfMap(i, j) = fields[static_cast<std::size_t>(j - 1)];
}

}  // namespace ebsim
