#pragma once

#include <QImage>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>

#include "cli/run_options.h"

// ebsim render --png FILE [the options of ebsim run]: the window after the
// three buttons, drawn offscreen by the window's own code into a PNG.
int RenderCommand(int argc, char** argv, std::span<const std::string> args, std::ostream& out, std::ostream& err);

struct Rendering {
  QImage picture;  // the window's client area
  // A failure: the error box's text and the button ("lee", "qrf", "run").
  std::optional<std::string> error;
  std::string stage;
};

// The window after the three buttons with these options, drawn offscreen.
// Needs the application object (and its setup) to exist.
Rendering RenderWindow(const CommonOptions& options);
