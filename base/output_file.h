#pragma once
// A file the program writes results into, safely:
//  - "-" is standard output;
//  - a device, FIFO or a path under /dev or /proc is written directly;
//  - a regular file or a new path is written to a unique temporary file in
//    the target's folder and renamed onto the target (through a symlink, onto
//    the file it names) only when complete and flushed to disk, so a reader
//    never sees half of it and a failure leaves what was there untouched.
// Every failure names the path the user gave and the system's reason.

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

namespace ebsim {

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputFile {
 public:
  // Checks that the target may be written and opens it; throws OutputError
  // before anything is written when it cannot be (a folder, a file that may
  // not be written, a folder that does not exist...).
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& Stream();
  const std::string& Path() const { return path_; }
  // Whether every write so far succeeded.
  bool Good() const;
  // Flushes and puts the file in place; throws OutputError.
  void Commit();

 private:
  class Buffer;
  std::string path_;
  std::string target_;     // where the rename goes: the path with symlinks resolved
  std::string temporary_;  // empty when written directly
  std::unique_ptr<Buffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
  bool committed_ = false;
};

// Whether two output paths name the same file (after symlinks); "-" is
// standard output.
bool SameOutputTarget(const std::string& a, const std::string& b);

// "cannot write 'PATH': REASON" for errno.
std::string CannotWrite(const std::string& path, int error);

}  // namespace ebsim
