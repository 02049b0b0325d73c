#pragma once
// The set-up of a lattice of any side, held compactly by the
// pass-at-a-time engine with no site maps: what ebsim does beyond the
// window's 300, and what memory it takes.

#include <cstdint>

#include "form/form_fields.h"
#include "model/model_parameters.h"
#include "model/random_numbers.h"
#include "model/utc_clock.h"
#include "engine/compact_lattice.h"
#include "run/engine_choice.h"
#include "run/field_sweep.h"

namespace ebsim {

// The largest side: its number of sites still counts in 32 bits.
inline constexpr int kLargestSide = 46340;

// About how many bytes a Run on a lattice of side n holds with that engine
// and that many field values.
std::uint64_t LargeLatticeBytes(int n, const ChosenLattice& chosen = {});
// Throws EConvertError when `copies` such Runs would not fit in the memory
// this process may take (AvailableMemoryBytes), before anything is
// allocated. One lattice of a side up to 300 always passes.
void CheckLargeLatticeFits(int n, unsigned copies = 1, const ChosenLattice& chosen = {});

// "Run LEE Constants" and "Run QRF Fields" for side n on `threads` threads
// (setup/compact_set_up.h): the exchange constants (the surface ratio shown
// through the port) and the random fields, ready for the engine. Throws the
// runs' errors; `stage` tells which run was under way. The observer, when
// given, hears of every row set up, so that a stop need not wait for the
// set-up to end. The boundary decides which cells are drawn and how the
// energies are summed.
CompactLattice SetUpLargeLattice(const FormPort& port, const ModelParameters& parameters, int n, RandomNumbers& random,
                                 const UtcClock& clock, const char*& stage, int threads,
                                 SweepObserver* observer = nullptr, Boundary boundary = Boundary::EdgeCopy);

}  // namespace ebsim
