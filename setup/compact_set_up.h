#pragma once
// "Run LEE Constants" and "Run QRF Fields" for a lattice of any side held
// compactly by the engine, with no site maps: the same draws, in the same
// order, as on the window's maps, so that a side up to 300 gives the very
// same lattice. The draws and the rows' work are shared among `threads`
// threads with the same bits. A surface, when the port has one, gets the
// shown squares. The boundary decides which cells are drawn and how the
// energies are summed (engine/edge_rule.h).

#include <functional>

#include "engine/compact_lattice.h"
#include "engine/edge_rule.h"
#include "form/form_fields.h"
#include "model/model_parameters.h"
#include "model/random_numbers.h"
#include "model/utc_clock.h"

namespace ebsim {

// Throws the runs' errors; `stage` tells which run was under way ("lee" or
// "qrf"). rowDone, when given, is called after every row set up, so that a
// stop (which it throws) need not wait for the set-up to end.
CompactLattice SetUpCompactLattice(const FormPort& port, const ModelParameters& parameters, int n,
                                   RandomNumbers& random, const UtcClock& clock, const char*& stage, int threads,
                                   const std::function<void()>& rowDone = {},
                                   Boundary boundary = Boundary::EdgeCopy);

}  // namespace ebsim
