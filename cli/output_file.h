#pragma once
// A file written under a temporary name and renamed into place when it is
// complete, so that a reader never sees half of it.

#include <fstream>
#include <string>

class OutputFile {
 public:
  // Throws std::runtime_error when the file cannot be opened.
  explicit OutputFile(std::string path);
  ~OutputFile();
  std::ostream& Stream() { return stream_; }
  // Flushes and renames the file into place; throws std::runtime_error.
  void Commit();

 private:
  std::string path_, partial_;
  std::ofstream stream_;
  bool committed_ = false;
};
