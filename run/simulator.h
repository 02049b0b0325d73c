#pragma once
// The core's API. A simulator owns a lattice, its random numbers and the
// clock that seeds them, and offers the window's three runs on them: the
// window, ebsim, the sweep workers, the render program and the Python
// module each hold one and call nothing else of the core's insides.
//
// The runs take their parameters from a form's fields (texts read by the
// window's rules, form/field_parameters.h), write read-outs as typed
// values, and draw on the form's surface when it has one. RunAll presses
// the three buttons in turn for a headless caller and returns everything
// as values.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "form/form_fields.h"
#include "form/headless_form.h"
#include "model/lattice_state.h"
#include "model/loop_crossings.h"
#include "model/random_numbers.h"
#include "model/utc_clock.h"
#include "run/avalanche_sizes.h"
#include "run/field_sweep.h"
#include "run/loop_csv.h"
#include "run/model_options.h"
#include "run/set_up_record.h"

namespace ebsim {

// The N x N blocks of the set-up maps, rows i = 1..N.
struct SetupMaps {
  std::vector<std::vector<double>> exchange, energy, randomField;
};

struct RunOutcome {
  std::uint32_t seedMs = 0;
  int side = 0;
  HeadlessReadouts readouts;  // each read-out's text and number (none: blank)
  // The crossings its E-B shift and coercivity show (none: blank).
  std::optional<LoopCrossings> crossings;
  SweepSteps steps;
  std::vector<LoopPoint> loop;    // with keepLoop
  // With options beyond the window's: each cycle's loop read-outs,
  // crossings and steps; the readouts above hold cycle 1's.
  std::vector<CycleOutcome> cycles;
  // An adiabatic Run's avalanche sizes per branch, and every avalanche with
  // keepAvalanches.
  AvalancheSizes avalancheSizes;
  std::vector<Avalanche> avalanches;
  std::optional<SetupMaps> maps;  // with keepMaps
  // A failure: the error box's text and the button it came from
  // ("lee", "qrf" or "run"); nothing after it ran.
  std::optional<std::string> error;
  std::string stage;
};

struct RunAllOptions {
  bool keepLoop = false;
  bool keepMaps = false;
  bool keepAvalanches = false;  // adiabatic Runs: every avalanche
  DrawingSurface* surface = nullptr;  // none: nothing is drawn
  SweepObserver* observer = nullptr;  // told of every field step
  // Sides beyond the window's 300, up to what memory holds: the lattice is
  // then held compactly (no maps) and nothing is drawn.
  bool largeSides = false;
  // The compact form whatever the side: for comparisons with the maps.
  bool compactLattice = false;
  // Threads for the Run's relaxation passes.
  int threads = 1;
  // The dynamics, boundary and protocol; beyond the defaults the lattice
  // is held compactly and nothing is drawn.
  ModelOptions model = {};
};

// Throws the Run's error (EConvertError) for inputs that the Run refuses
// whatever the lattice holds: a side the lattice cannot hold, fewer than one
// step, H0 below Hmin, a field step that rounds to zero.
void CheckRunInputs(const FieldTexts& fields, bool largeSides = false);

// The side the fields ask for when it is a number that the window's maps
// do not hold (beyond 300, or below 1); none otherwise.
std::optional<int> LargeSide(const FieldTexts& fields);

// How far RunCompact got: the run under way ("lee", "qrf", "run") and the
// side once the lattice is set up.
struct CompactProgress {
  const char* stage = "lee";
  int side = 0;
};

class Simulator {
 public:
  // Seeded from the system clock unless another clock is given.
  explicit Simulator(std::unique_ptr<UtcClock> clock = std::make_unique<SystemClock>());
  void SetClock(std::unique_ptr<UtcClock> clock) { clock_ = std::move(clock); }

  // "Run LEE Constants": the side, the exchange constants (the generator
  // seeded from the clock), spins +1, the surface ratio and the energy map.
  void SetUpExchange(const FormPort& port);
  // "Run QRF Fields": a Gaussian random field on every site.
  void SetUpRandomFields(const FormPort& port);
  // "Run": the field sweep with its measurements; the observer hears of
  // every field step and may end the Run by throwing.
  SweepSteps RunLoop(const FormPort& port, SweepObserver* observer = nullptr);

  // The three in turn on these fields with the clock at seedMs (the time of
  // day in milliseconds), as `ebsim run` does. Errors of the runs are
  // returned, not thrown; so is memory that runs out (kOutOfMemory).
  RunOutcome RunAll(const FieldTexts& fields, std::uint32_t seedMs, const RunAllOptions& options = {});

  // What the latest "Run LEE Constants" and the buttons after it read; none
  // before one, or after one that failed.
  const std::optional<SetUpRecord>& LastSetUp() const { return setUp_; }

  // The three in turn on a lattice of any side held compactly (no site
  // maps), the clock at seedMs, drawing the shown squares when the port has
  // a surface: what RunAll does beyond 300, for a caller with its own port.
  // Throws the runs' errors. The protocol's model options, when given,
  // pick the engine by their dynamics, and their boundary goes to the
  // set-up and the engine.
  SweepSteps RunCompact(const FormPort& port, std::uint32_t seedMs, int threads, CompactProgress& progress,
                        SweepObserver* observer = nullptr, const ProtocolRun* protocol = nullptr);

  const LatticeState& Lattice() const { return *lattice_; }
  LatticeState& Lattice() { return *lattice_; }
  RandomNumbers& Random() { return random_; }

 private:
  std::unique_ptr<LatticeState> lattice_ = std::make_unique<LatticeState>();
  RandomNumbers random_;
  std::unique_ptr<UtcClock> clock_;
  std::optional<SetUpRecord> setUp_;
};

}  // namespace ebsim
