#pragma once

#include <atomic>
#include <iosfwd>
#include <span>
#include <string>

namespace ebsim {

// ebsim study FILE.toml [--resume] [--threads T]: the sweep a study file
// describes (cli/study_file.h), run as `ebsim sweep` with the arguments it
// stands for; every file's metadata holds the study file's path and text
// under "study". Returns the sweep's exit code; 2 for a study file that is
// refused, 1 for one that cannot be read.
int StudyCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop);

}  // namespace ebsim
