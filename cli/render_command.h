#pragma once

#include <iosfwd>
#include <span>
#include <string>

// ebsim render --png FILE [the options of ebsim run]: the window after the
// three buttons, drawn offscreen by the window's own code into a PNG.
int RenderCommand(int argc, char** argv, std::span<const std::string> args, std::ostream& out, std::ostream& err);
