#pragma once
// The window after its three run buttons, drawn offscreen by the window's
// own code: what `ebsim render` shows.

#include <QImage>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "model/physics_names.h"

namespace ebsim {

struct RenderRequest {
  std::map<Input, std::string> texts;  // over the default texts
  std::uint32_t seedMs = 0;            // the clock's time of day
  char32_t separator = U'.';
  // The lattice held compactly, as beyond 300, whatever the side.
  bool compact = false;
};

struct Rendering {
  QImage picture;  // the window's client area
  // A failure: the error box's text and the button ("lee", "qrf", "run").
  std::optional<std::string> error;
  std::string stage;
};

// Needs the application object (and its setup) to exist. Sides beyond the
// window's 300 are set up and run as ebsim runs them, compactly, and drawn
// on the window: the shown 70 x 70 squares, the loop and the read-outs.
Rendering RenderWindow(const RenderRequest& request);

// The render program's main: ebsim-render PNG SEED_MS SEPARATOR followed by
// the seven input texts in the order of the options of `ebsim run` (side,
// dilution, enhancement, sd, h0, hmin, steps). `ebsim render` checks its
// options and runs it.
int RenderMain(int argc, char** argv);

}  // namespace ebsim
