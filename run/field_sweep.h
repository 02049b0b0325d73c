#pragma once
// The "Run": a zero-temperature sweep of the applied field from "Init. Mag.
// Field" down to "Min. Mag. Field" and back up, the spins relaxed at every
// field value by the dynamics rule (the original's one pass over all
// sites), with the loop measured and drawn as it goes.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/event_relaxation.h"
#include "engine/parallel_relaxation.h"
#include "engine/stable_relaxation.h"
#include "form/form_fields.h"
#include "form/headless_form.h"
#include "model/lattice_state.h"
#include "model/loop_crossings.h"
#include "model/model_parameters.h"
#include "run/field_schedule.h"
#include "run/model_options.h"
#include "run/sweep_observer.h"

namespace ebsim {

struct SweepSteps {
  std::int64_t descending = 0;
  std::int64_t ascending = 0;
};

// The Run's inputs, read and checked before anything is drawn.
struct RunInputs {
  int n = 0;
  double fieldStep = 0;
  HysteresisLoop loop{0, 0, 0};
};
// Takes the side, the steps and both field bounds; throws the Run's error
// for parameters it refuses whatever the lattice holds: no number, a side
// the lattice cannot hold, fewer than one step, H0 below Hmin, or a field
// step that rounds to zero.
RunInputs ReadRunInputs(const ModelParameters& parameters, int largestSide = kMaxSide);

// The field protocol the model options ask for: the inputs' loop, repeated,
// or the field history read with the separator. Throws the Run's error for
// a history value that is not a field value.
std::unique_ptr<FieldProtocol> ProtocolOf(const RunInputs& inputs, const ModelOptions& model,
                                          const DecimalSeparator& separator);

// What one cycle of a protocol measured: its loop read-outs, the crossings
// they were reckoned from, and its steps on each branch.
struct CycleOutcome {
  HeadlessReadouts readouts;
  std::optional<LoopCrossings> crossings;
  SweepSteps steps;
};

// The cycles a protocol gives a line each in a sweep's tables: none for the
// window's loop (the tables then have no cycle column), else --cycles, or
// the cycles of the field history (1 when a value does not read: every Run
// of it fails).
int TableCycles(const ModelOptions& model, const DecimalSeparator& separator);

// A headless Run's protocol, and where each cycle's outcome goes (one per
// cycle begun; the port keeps cycle 1's read-outs).
struct ProtocolRun {
  const ModelOptions& model;
  std::vector<CycleOutcome>* cycles = nullptr;
};

// The Run on a lattice held by the engine alone, without site maps: for
// runs on sides beyond the maps' 300. The lattice state keeps the Run's
// scalars and, when the port has a surface, the shown block's spins, drawn
// after every pass. Ends with every spin back at +1.
SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         ParallelRelaxation& engine, int largestSide, SweepObserver* observer = nullptr,
                         const ProtocolRun* protocol = nullptr);
// The same with relaxation to stability at every field value.
SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         StableRelaxation& engine, int largestSide, SweepObserver* observer = nullptr,
                         const ProtocolRun* protocol = nullptr);
// The same Run by the event engine, told each leg's fields as it begins:
// the same bits.
SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         EventRelaxation& engine, int largestSide, SweepObserver* observer = nullptr,
                         const ProtocolRun* protocol = nullptr);

// The whole Run on the lattice state's maps with these parameters, drawing
// on the surface. The maps keep the spins after every pass and the field
// maps of the last; the Run ends with every spin of the block back at +1.
SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                         SweepObserver* observer = nullptr);

}  // namespace ebsim
