#pragma once
// "Run LEE Constants": starts a new lattice of side N with all spins up,
// gives each site the enhancement constant with probability "Dilution
// Level", shows the fraction of enhanced sites and draws the exchange map
// and the initial exchange-energy map.

#include "form/form_fields.h"
#include "model/lattice_state.h"
#include "model/model_parameters.h"
#include "model/random_numbers.h"

namespace ebsim {

void RunExchangeEnhancement(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                            RandomNumbers& random, const UtcClock& clock);

// The energy panel's colour for a cell's initial exchange energy.
Color EnergyColour(double energy);

}  // namespace ebsim
