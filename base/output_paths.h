#pragma once
// Output paths as the file system sees them: the folder and name a path
// resolves to, whether two paths name one file (existing or not), and the
// check that a command's outputs name distinct files none of which it reads.

#include <string>
#include <vector>

namespace ebsim {

// The folder of a path ("." when it names none) and its last component.
std::string PathFolder(const std::string& path);
std::string PathName(const std::string& path);

// The path with every symlink along its last component followed; empty,
// with errno ELOOP, for a loop of links.
std::string FollowLinks(const std::string& path);

// Whether two output paths name the same file: the same file when both
// exist, otherwise the same name in the same folder once symlinks and "."
// and ".." are resolved ("q.csv", "./q.csv", "$PWD/q.csv", "../d/q.csv").
// "-" is standard output.
bool SameOutputTarget(const std::string& a, const std::string& b);

// An output of a command by the option that names it.
struct NamedOutput {
  const char* option;  // "--out"
  std::string path;    // "-": standard output; empty: not written
};

// Throws std::invalid_argument for the first two outputs that name one file
// ("--out and --summary name the same file: 'x'") and for an output that
// names one of the files the command reads ("--out names 'x', one of the
// files it reads").
void CheckOutputPaths(const std::vector<NamedOutput>& outputs, const std::vector<std::string>& inputs = {});

}  // namespace ebsim
