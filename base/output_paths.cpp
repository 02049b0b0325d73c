#include "base/output_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

namespace ebsim {

std::string PathFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string PathName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t length = readlink(current.c_str(), link.data(), PATH_MAX);
    if (length <= 0) return current;
    const std::string target(link.data(), static_cast<std::size_t>(length));
    current = target.front() == '/' ? target : PathFolder(current) + "/" + target;
  }
  errno = ELOOP;
  return {};
}

namespace {

// The real path of a folder, or, when it cannot be resolved (it does not
// exist), the absolute path made lexically normal.
std::string RealFolder(const std::string& folder) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(folder.c_str(), nullptr), &std::free);
  if (real) return real.get();
  std::error_code ignored;
  return std::filesystem::absolute(folder, ignored).lexically_normal().string();
}

// The folder and name a path to a file that may not exist yet resolves to.
std::string ResolvedOutput(const std::string& path) {
  const std::string target = FollowLinks(path);
  if (target.empty()) return path;
  const std::string name = PathName(target);
  if (name.empty() || name == "." || name == "..") return RealFolder(target);
  return RealFolder(PathFolder(target)) + "/" + name;
}

}  // namespace

bool SameOutputTarget(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return a == b;
  struct stat first {}, second {};
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0)
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  return ResolvedOutput(a) == ResolvedOutput(b);
}

void CheckOutputPaths(const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs) {
  for (std::size_t a = 0; a < outputs.size(); ++a) {
    if (outputs[a].path.empty()) continue;
    for (std::size_t b = a + 1; b < outputs.size(); ++b)
      if (!outputs[b].path.empty() && SameOutputTarget(outputs[a].path, outputs[b].path))
        throw std::invalid_argument(std::string(outputs[a].option) + " and " + outputs[b].option +
                                    " name the same file: '" + outputs[b].path + "'");
    for (const std::string& input : inputs)
      if (input != "-" && outputs[a].path != "-" && SameOutputTarget(outputs[a].path, input))
        throw std::invalid_argument(std::string(outputs[a].option) + " names '" + outputs[a].path +
                                    "', one of the files it reads");
  }
}

}  // namespace ebsim
