#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace ebsim {

// ebsim render --png FILE [the inputs of ebsim run]: checks the options and
// hands them to the window's render program, ebsim-render, installed beside
// ebsim. Returns only when that cannot be started.
int RenderCommand(std::span<const std::string> args, std::ostream& err);

}  // namespace ebsim
