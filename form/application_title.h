#pragma once

#include <string>

namespace ebsim {

// The application's title, as used for the taskbar and the error boxes: the
// program file's name without its directory and without anything from its
// first "." on, every character after the first in lower case.
std::string TitleFromProgramPath(const std::string& path);

}  // namespace ebsim
