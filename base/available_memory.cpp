#include "base/available_memory.h"

#include <fstream>

namespace ebsim {

std::optional<std::uint64_t> AvailableMemoryBytes() {
  std::ifstream info("/proc/meminfo");
  for (std::string key; info >> key;) {
    std::uint64_t kilobytes = 0;
    info >> kilobytes;
    if (key == "MemAvailable:") return kilobytes * 1024;
    info.ignore(256, '\n');
  }
  return std::nullopt;
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB"; }

}  // namespace ebsim
