#pragma once
// A new version of a regular file, made under a temporary beside it and
// put in place whole: the temporary is named after its host and process
// and locked while written (temporary_files.h), and renamed onto the target
// (through a symlink, onto the file it names) only once it is flushed to
// disk; until then, and after any failure, what stood at the target stays.
// OutputFile writes its files through one; a library that opens files by
// name itself writes to WritePath().

#include <string>
#include <vector>

namespace ebsim {

class TemporaryOutput {
 public:
  // Checks that the target is a regular file that may be written, or a new
  // name in a folder that exists, and makes the temporary with the
  // target's permissions; throws OutputError naming `path` before anything
  // is written otherwise ("-" and anything but a regular file included).
  explicit TemporaryOutput(std::string path);
  ~TemporaryOutput();
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  const std::string& Path() const { return path_; }
  // The temporary, and a descriptor open on it for writing.
  const std::string& WritePath() const { return temporary_; }
  int Fd() const { return fd_; }
  // Flushes the temporary to disk and renames it onto the target; throws
  // OutputError naming the path with the system's reason.
  void Commit();
  bool Committed() const { return committed_; }
  // Once committed: removes the temporaries of this target that writers
  // which are gone left behind; returns their paths.
  std::vector<std::string> RemoveStaleTemporaries() const;

 private:
  std::string path_;
  std::string target_;  // the path with symlinks resolved
  std::string temporary_;
  int fd_ = -1;
  int lock_ = -1;
  bool committed_ = false;
};

}  // namespace ebsim
