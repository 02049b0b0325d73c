#pragma once
// "Run QRF Fields": a Gaussian random field of mean 0 and standard
// deviation SD for every site of the block the last "Run LEE Constants"
// set up, painted in eight classes one SD wide.

#include <optional>

#include "form/form_fields.h"
#include "model/lattice_state.h"
#include "model/model_parameters.h"
#include "model/random_numbers.h"

namespace ebsim {

void RunRandomField(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                    RandomNumbers& random);

// The colour of a field value q for standard deviation sd, or none when q
// lies on a class bound. With sd = 0 every bound is 0: only q = 0 has none.
std::optional<Color> RandomFieldClass(double q, double sd);

}  // namespace ebsim
