#pragma once
// The set-up's hooks for the window: the site maps filled and the shown
// squares drawn cell by cell as the set-up hands its rows on, with the
// window's order of reads and fills.

#include "form/form_fields.h"
#include "model/lattice_state.h"
#include "model/model_parameters.h"
#include "setup/disorder_set_up.h"

namespace ebsim {

class MapCells final : public SetUpCells {
 public:
  MapCells(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice)
      : port_(port), parameters_(parameters), lattice_(lattice) {}

  // ExchangeMap, EnhancedSiteCount and the exchange squares: the brush set
  // for every cell, the constant read again at every enhanced one.
  std::optional<double> ExchangeRow(int i, std::span<const std::uint8_t> enhanced, int count) override;
  // FmEnergyMap and the energy squares.
  void EnergyRow(int i, std::span<const double> energies) override;
  // QrfMap.
  void RandomFieldRow(int i, std::span<const double> fields) override;

 private:
  const FormPort& port_;
  const ModelParameters& parameters_;
  LatticeState& lattice_;
};

}  // namespace ebsim
