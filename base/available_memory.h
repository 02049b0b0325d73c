#pragma once
// How much memory this process may still take: the tightest of what the
// system has available (/proc/meminfo), what its control groups leave
// (their limit less their use, up to the root of each hierarchy) and what
// its own limits leave (RLIMIT_AS less its address space, RLIMIT_DATA less
// its data), with a margin kept free.

#include <cstdint>
#include <optional>
#include <string>

namespace ebsim {

// The error of a Run that memory could not hold after all.
inline constexpr char kOutOfMemory[] = "Out of memory";

// None when nothing says.
std::optional<std::uint64_t> AvailableMemoryBytes();

// What the memory control groups named in `selfCgroup` (the text of
// /proc/self/cgroup: "0::/path" for the unified hierarchy, "N:memory:/path"
// for the older one) leave, their files read under `root`: for each group
// and each of its parents, its limit less its use. None when no group sets
// a limit.
std::optional<std::uint64_t> CgroupMemoryLeft(const std::string& selfCgroup, const std::string& root);

// Of `left` bytes, those kept free.
std::uint64_t MemoryMargin(std::uint64_t left);

// "123 MB", rounded up.
std::string Megabytes(std::uint64_t bytes);

}  // namespace ebsim
