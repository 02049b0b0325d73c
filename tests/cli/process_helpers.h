#pragma once
// Running ebsim as a process from the tests: scratch folders, its output
// and exit code, and reading back the CSV it writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch/sweep_output.h"

extern char** environ;

namespace ebsim {

namespace fs = std::filesystem;

// A directory of its own for each test, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "ebsim_test_XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() { fs::remove_all(path_); }
  std::string Path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of a table ebsim wrote, without its "# {...}" metadata lines.
inline std::vector<std::string> TableLines(const std::string& text) {
  std::vector<std::string> lines;
  for (const std::string& line : Lines(text))
    if (line.rfind("# ", 0) != 0) lines.push_back(line);
  return lines;
}

// The fields of one CSV line, quotes undone.
inline std::vector<std::string> CsvFields(const std::string& line) { return ebsim::ReadCsvFields(line); }

inline std::size_t Column(const std::vector<std::string>& header, const std::string& name) {
  const auto at = std::find(header.begin(), header.end(), name);
  EXPECT_NE(at, header.end()) << name;
  return static_cast<std::size_t>(at - header.begin());
}

// Starts a program (found on the PATH) with its output and errors going
// to files, in the folder `cwd` when one is given.
inline pid_t StartProgram(const std::vector<std::string>& args, const std::string& outPath,
                          const std::string& errPath, const std::string& cwd = "") {
  std::vector<std::string> argv = args;
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

// Starts ebsim with its output and errors going to files.
inline pid_t Start(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath) {
  std::vector<std::string> argv = {EBSIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return StartProgram(argv, outPath, errPath);
}

// The exit code, or 1000 + the signal that ended the process.
inline int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

struct Finished {
  int code;
  std::string out, err;
};

// Runs ebsim to its end, in the folder `cwd` when one is given.
inline Finished RunEbsim(const std::vector<std::string>& args, const std::string& cwd = "") {
  const ScratchDir streams;
  std::vector<std::string> argv = {EBSIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const int code = Wait(StartProgram(argv, streams / "out", streams / "err", cwd));
  return {code, ReadFile(streams / "out"), ReadFile(streams / "err")};
}

}  // namespace ebsim
