#pragma once
// How much memory this process may still take: what the system has
// available now, as /proc/meminfo says.

#include <cstdint>
#include <optional>
#include <string>

namespace ebsim {

// None when the system does not say.
std::optional<std::uint64_t> AvailableMemoryBytes();

// "123 MB", rounded up.
std::string Megabytes(std::uint64_t bytes);

}  // namespace ebsim
