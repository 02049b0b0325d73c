#include "base/available_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

namespace ebsim {

namespace {

constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;

void KeepTightest(std::optional<std::uint64_t>& tightest, std::optional<std::uint64_t> left) {
  if (left) tightest = std::min(tightest.value_or(*left), *left);
}

std::optional<std::uint64_t> SystemAvailable() {
  std::ifstream info("/proc/meminfo");
  for (std::string key; info >> key;) {
    std::uint64_t kilobytes = 0;
    info >> kilobytes;
    if (key == "MemAvailable:") return kilobytes * 1024;
    info.ignore(256, '\n');
  }
  return std::nullopt;
}

// A file's number; none for "max" or a file that cannot be read.
std::optional<std::uint64_t> ReadNumber(const std::string& path) {
  std::ifstream in(path);
  std::uint64_t value = 0;
  if (in >> value) return value;
  return std::nullopt;
}

// The value of `key` in a memory.stat file; 0 when it is not there.
std::uint64_t StatValue(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::uint64_t value = 0;
  for (std::string name; in >> name >> value;)
    if (name == key) return value;
  return 0;
}

// A group's limit, its use, and the part of its use that is file cache
// not touched lately.
struct CgroupFiles {
  const char* limit;
  const char* use;
  const char* idleCache;
};
constexpr CgroupFiles kUnified{"memory.max", "memory.current", "inactive_file"};
constexpr CgroupFiles kLegacy{"memory.limit_in_bytes", "memory.usage_in_bytes", "total_inactive_file"};

// What the group at `path` of the hierarchy mounted at `mount`, and each of
// its parents, leave.
std::optional<std::uint64_t> GroupLeft(const std::string& mount, std::string path, const CgroupFiles& files) {
  std::optional<std::uint64_t> tightest;
  for (;;) {
    const std::string folder = mount + (path == "/" ? "" : path) + "/";
    const std::optional<std::uint64_t> limit = ReadNumber(folder + files.limit);
    const std::optional<std::uint64_t> use = ReadNumber(folder + files.use);
    if (limit && use) {
      // The use counts the group's file cache, and idle cache is given back
      // before the group runs out: after heavy writing the use stands near
      // the limit with most of it cache.
      const std::uint64_t held = *use - std::min(*use, StatValue(folder + "memory.stat", files.idleCache));
      KeepTightest(tightest, *limit > held ? *limit - held : 0);
    }
    if (path.empty() || path == "/") return tightest;
    const std::size_t cut = path.find_last_of('/');
    path = cut == 0 || cut == std::string::npos ? "/" : path.substr(0, cut);
  }
}

bool NamesController(const std::string& controllers, const std::string& name) {
  std::istringstream list(controllers);
  for (std::string controller; std::getline(list, controller, ',');)
    if (controller == name) return true;
  return false;
}

// What RLIMIT_AS leaves of the address space and RLIMIT_DATA of the data
// (with the stack, as the kernel counts it), both as /proc/self/statm has them.
std::optional<std::uint64_t> ProcessLimitsLeft() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0, resident = 0, shared = 0, text = 0, library = 0, data = 0;
  if (!(statm >> size >> resident >> shared >> text >> library >> data)) size = data = 0;
  const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  std::optional<std::uint64_t> tightest;
  for (const auto& [resource, pages] : {std::pair{RLIMIT_AS, size}, std::pair{RLIMIT_DATA, data}}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
    const std::uint64_t used = pages * page;
    KeepTightest(tightest, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
  }
  return tightest;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::optional<std::uint64_t> CgroupMemoryLeft(const std::string& selfCgroup, const std::string& root) {
  std::optional<std::uint64_t> tightest;
  std::istringstream lines(selfCgroup);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty())
      KeepTightest(tightest, GroupLeft(root, path, kUnified));
    else if (NamesController(controllers, "memory"))
      KeepTightest(tightest, GroupLeft(root + "/memory", path, kLegacy));
  }
  return tightest;
}

// A tenth of what is left, and at least 256 MB, stays free. MemAvailable is
// the kernel's estimate: part of the cache it counts cannot be given back
// when needed, and on a shared machine other processes grow meanwhile (a
// side-40000 run that needed 97% of it was killed by the kernel). Under an
// address-space limit every thread also takes room no size estimate counts
// (its stack, its allocator's arena of 64 MB).
std::uint64_t MemoryMargin(std::uint64_t left) { return std::min(left, std::max(left / 10, 256 * kMegabyte)); }

std::optional<std::uint64_t> AvailableMemoryBytes() {
  std::optional<std::uint64_t> left = SystemAvailable();
  KeepTightest(left, CgroupMemoryLeft(FileText("/proc/self/cgroup"), "/sys/fs/cgroup"));
  KeepTightest(left, ProcessLimitsLeft());
  if (!left) return std::nullopt;
  return *left - MemoryMargin(*left);
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + kMegabyte - 1) >> 20) + " MB"; }

}  // namespace ebsim
