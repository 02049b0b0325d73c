#pragma once
// Says on stderr which temporaries of killed writers a command removed.

#include <ostream>
#include <string>
#include <vector>

namespace ebsim {

inline void SayRemoved(const std::vector<std::string>& paths, const char* command, std::ostream& err) {
  for (const std::string& path : paths)
    err << command << ": removed '" << path << "', left by a writer of the same file that is gone\n";
}

}  // namespace ebsim
