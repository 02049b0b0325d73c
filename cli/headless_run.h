#pragma once
// The window's three buttons pressed in turn without a window: "Run LEE
// Constants", "Run QRF Fields", then "Run", on the same core the window uses.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "form/headless_form.h"
#include "model/lattice_state.h"
#include "sim/field_sweep.h"
#include "sim/loop_csv.h"

namespace ebsim {

// The N x N blocks of the set-up maps, rows i = 1..N.
struct SetupMaps {
  std::vector<std::vector<double>> exchange, energy, randomField;
};

struct HeadlessOutcome {
  std::uint32_t seedMs = 0;
  int side = 0;
  HeadlessReadouts readouts;
  SweepSteps steps;
  std::vector<LoopPoint> loop;    // with keepLoop
  std::optional<SetupMaps> maps;  // with keepMaps
  // A failure: the error box's text and the button it came from
  // ("lee", "qrf" or "run"); nothing after it ran.
  std::optional<std::string> error;
  std::string stage;
};

struct HeadlessOptions {
  bool keepLoop = false;
  bool keepMaps = false;
  DrawingSurface* surface = nullptr;  // none: nothing is drawn
  SweepObserver* observer = nullptr;  // told of every field step
};

// Runs the three buttons on `lattice` with the generator seeded at seedMs.
HeadlessOutcome RunHeadless(const HeadlessFields& fields, std::uint32_t seedMs, LatticeState& lattice,
                            const HeadlessOptions& options = {});

}  // namespace ebsim
