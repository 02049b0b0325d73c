#pragma once
// Which engine relaxes a Run on the compact lattice: the dynamics rule with
// the engine asked for, auto choosing by the side, the threads and the
// field values the Run holds.

#include <cstdint>
#include <optional>

#include "model/model_parameters.h"
#include "run/model_options.h"

namespace ebsim {

enum class LatticeEngine { Pass, PassEvents, StableScan, StableEvents };

// The engine a Run takes and the field values it holds (what its memory
// depends on besides the side).
struct ChosenLattice {
  LatticeEngine engine = LatticeEngine::Pass;
  std::int64_t fieldValues = 0;
};

// The field values the Run will hold, roughly; none where its texts do not
// read (the Run raises where it reads them). Neither raises here nor walks
// a long schedule.
std::optional<std::int64_t> FieldValueCount(const ModelOptions& model, const ModelParameters& parameters);

// The engine for a lattice of side n relaxed on `threads` threads.
ChosenLattice ChosenEngine(const ModelOptions& model, const ModelParameters& parameters, int n, int threads);

}  // namespace ebsim
