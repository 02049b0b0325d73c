#include "base/temporary_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/output_file.h"
#include "base/output_paths.h"
#include "base/temporary_files.h"

namespace ebsim {

namespace {

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

TemporaryOutput::TemporaryOutput(std::string path) : path_(std::move(path)) {
  struct stat info {};
  const bool exists = !path_.empty() && stat(path_.c_str(), &info) == 0;
  if (path_ == "-" || (exists && !S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)))
    throw OutputError("cannot write '" + path_ + "': it is not a regular file");
  if (exists && S_ISDIR(info.st_mode)) throw OutputError(CannotWrite(path_, EISDIR));
  // Root may write anything: a file without write permission is refused all the same.
  if (exists && (access(path_.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0))
    throw OutputError(CannotWrite(path_, EACCES));
  target_ = path_.empty() ? path_ : FollowLinks(path_);
  if (target_.empty()) throw OutputError(CannotWrite(path_, path_.empty() ? ENOENT : errno));
  temporary_ = TemporaryPattern(target_);
  fd_ = mkostemp(temporary_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    temporary_.clear();
    throw OutputError(CannotWrite(path_, error));
  }
  lock_ = LockTemporary(fd_);
  fchmod(fd_, exists ? (info.st_mode & 07777) : NewFileMode());
}

TemporaryOutput::~TemporaryOutput() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
  if (lock_ >= 0) ::close(lock_);
}

void TemporaryOutput::Commit() {
  if (committed_) return;
  int error = fsync(fd_) == 0 ? 0 : errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
  if (error != 0) throw OutputError(CannotWrite(path_, error));
  if (lock_ >= 0) ::close(lock_);
  lock_ = -1;
  committed_ = true;
}

std::vector<std::string> TemporaryOutput::RemoveStaleTemporaries() const {
  return committed_ ? ebsim::RemoveStaleTemporaries(target_) : std::vector<std::string>{};
}

}  // namespace ebsim
