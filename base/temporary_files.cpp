#include "base/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "base/output_paths.h"

namespace ebsim {

namespace {

constexpr std::size_t kHostLength = 32;
constexpr std::size_t kUniqueLength = 6;  // mkostemp's XXXXXX

bool NameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// This host's name as a temporary carries it: letters, digits and "_" only.
std::string HostTag() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "host";
  std::string tag;
  for (const char* c = name; *c && tag.size() < kHostLength; ++c) tag += NameCharacter(*c) ? *c : '_';
  return tag;
}

// The writer's process of a temporary named ".NAME.HOST-PID.XXXXXX" made
// on this host; 0 when the name is not of that form or of another host.
pid_t WriterOf(const std::string& entry, const std::string& name) {
  const std::string prefix = "." + name + ".";
  if (entry.size() <= prefix.size() + kUniqueLength + 1 || entry.compare(0, prefix.size(), prefix) != 0) return 0;
  const std::string middle = entry.substr(prefix.size(), entry.size() - prefix.size() - kUniqueLength - 1);
  const std::string unique = entry.substr(entry.size() - kUniqueLength);
  if (entry[entry.size() - kUniqueLength - 1] != '.' || !std::all_of(unique.begin(), unique.end(), NameCharacter))
    return 0;
  const auto dash = middle.rfind('-');
  if (dash == std::string::npos || middle.substr(0, dash) != HostTag()) return 0;
  const std::string digits = middle.substr(dash + 1);
  if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
      }))
    return 0;
  return static_cast<pid_t>(std::atol(digits.c_str()));
}

bool ProcessGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

// Whether the regular file at `path` is unlocked: its writer let go.
bool LockFree(const std::string& path, off_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  const bool free = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0;
  size = info.st_size;
  ::close(fd);
  return free;
}

}  // namespace

std::string TemporaryPattern(const std::string& target) {
  const std::string folder = PathFolder(target), name = PathName(target);
  const std::string tagged = "." + name + "." + HostTag() + "-" + std::to_string(getpid()) + ".XXXXXX";
  if (tagged.size() <= NAME_MAX) return folder + "/" + tagged;
  return folder + "/." + name + ".XXXXXX";
}

int LockTemporary(int fd) {
  const int held = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (held < 0) return -1;
  if (flock(held, LOCK_EX | LOCK_NB) != 0) {
    ::close(held);
    return -1;
  }
  return held;
}

std::vector<std::string> StaleTemporaries(const std::string& target) {
  const std::string resolved = FollowLinks(target);
  if (resolved.empty()) return {};
  const std::string folder = PathFolder(resolved), name = PathName(resolved);
  std::vector<std::pair<off_t, std::string>> found;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {};
  while (const dirent* entry = readdir(dir)) {
    const pid_t writer = WriterOf(entry->d_name, name);
    if (writer <= 0 || !ProcessGone(writer)) continue;
    // Named as the target is: in its folder, or bare when it is.
    const std::string path = resolved.find('/') == std::string::npos ? entry->d_name : folder + "/" + entry->d_name;
    off_t size = 0;
    if (LockFree(path, size)) found.emplace_back(size, path);
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::string> paths;
  for (auto& [size, path] : found) paths.push_back(std::move(path));
  return paths;
}

std::vector<std::string> RemoveStaleTemporaries(const std::string& target) {
  std::vector<std::string> removed;
  for (const std::string& path : StaleTemporaries(target))
    if (::unlink(path.c_str()) == 0) removed.push_back(path);
  return removed;
}

}  // namespace ebsim
