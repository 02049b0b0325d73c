#pragma once
// A file the program writes results into, safely:
//  - "-" is standard output;
//  - a device, FIFO or a path under /dev or /proc is written directly;
//  - a regular file or a new path is written to a unique temporary file in
//    the target's folder and renamed onto the target (through a symlink, onto
//    the file it names) only when complete and flushed to disk, so a reader
//    never sees half of it and a failure leaves what was there untouched.
//    The temporary is named after its host and process and locked while
//    written (see temporary_files.h), so that one a killed writer left can
//    be told from a live writer's.
// Every failure names the path the user gave and the system's reason.

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/output_paths.h"
#include "base/temporary_output.h"

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
  // Once committed: removes the temporaries of this target that writers
  // which are gone left behind; returns their paths.
  std::vector<std::string> RemoveStaleTemporaries() const;

 private:
  class Buffer;
  std::string path_;
  std::unique_ptr<TemporaryOutput> file_;  // none when written directly
  std::unique_ptr<Buffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
  bool committed_ = false;
};

// "cannot write 'PATH': REASON" for errno.
std::string CannotWrite(const std::string& path, int error);

}  // namespace ebsim
