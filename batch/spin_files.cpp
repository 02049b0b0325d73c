#include "batch/spin_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "base/output_file.h"

namespace ebsim {

namespace {

// Writes the bytes whole; errno on failure.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// A new file ".NAME.XXXXXX" in the folder, made here and now (never an
// entry someone left there); its name is returned through `temporary`.
int CreateTemporary(int folder, const std::string& name, std::string& temporary) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device entropy;
  std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = "." + name + ".";
    for (int k = 0; k < 6; ++k) temporary += kLetters[letter(entropy)];
    const int fd = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Why the name may not be replaced, or empty; a missing name may be made.
// A file there keeps its permissions (`mode`), and one that may not be
// written is refused, by root too, as other outputs are.
std::string RefusedTarget(int folder, const std::string& name, mode_t& mode) {
  struct stat info {};
  if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? "" : std::strerror(errno);
  if (S_ISLNK(info.st_mode)) return "it is a symbolic link, and spin files are never written through one";
  if (!S_ISREG(info.st_mode)) return "it is not a regular file";
  if (faccessat(folder, name.c_str(), W_OK, 0) != 0 || (info.st_mode & 0222) == 0) return std::strerror(EACCES);
  mode = info.st_mode & 07777;
  return "";
}

}  // namespace

std::string SpinArrayHeader(int side) {
  std::string header = "{'descr': '|i1', 'fortran_order': False, 'shape': (" + std::to_string(side) + ", " +
                       std::to_string(side) + "), }";
  // Magic, version and length take 10 bytes; the header ends in a newline
  // with the whole padded to a multiple of 64.
  const std::size_t unpadded = 10 + header.size() + 1;
  header.append((64 - unpadded % 64) % 64, ' ');
  header += '\n';
  const char start[] = {'\x93', 'N', 'U', 'M', 'P', 'Y', 1, 0, static_cast<char>(header.size() & 0xFF),
                        static_cast<char>(header.size() >> 8)};
  return std::string(start, sizeof start) + header;
}

std::string SpinFileName(std::size_t point, std::uint64_t realization) {
  return "point" + std::to_string(point) + "_realization" + std::to_string(realization) + ".npy";
}

SpinFolder::SpinFolder(std::string path) : path_(std::move(path)) {
  if (mkdir(path_.c_str(), 0777) != 0 && errno != EEXIST) throw OutputError(CannotWrite(path_, errno));
  fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) throw OutputError(CannotWrite(path_, errno));
  if (access(path_.c_str(), W_OK | X_OK) != 0) {
    const int error = errno;
    close(fd_);
    throw OutputError(CannotWrite(path_, error));
  }
}

SpinFolder::~SpinFolder() { close(fd_); }

void SpinFolder::Write(const SweepRow& row) const {
  if (row.spins.empty()) return;
  WriteSpins(SpinFileName(row.point, row.realization), row.spins, row.side);
}

std::string StepSpinFileName(std::int64_t step) { return "step" + std::to_string(step) + ".npy"; }

void SpinFolder::WriteSpins(const std::string& name, const std::vector<std::int8_t>& spins, int side) const {
  const std::string shown = path_ + "/" + name;
  mode_t mode = 0;
  if (const std::string refused = RefusedTarget(fd_, name, mode); !refused.empty())
    throw OutputError("cannot write '" + shown + "': " + refused);
  std::string temporary;
  const int fd = CreateTemporary(fd_, name, temporary);
  if (fd < 0) throw OutputError(CannotWrite(shown, errno));
  if (mode) fchmod(fd, mode);
  const std::string header = SpinArrayHeader(side);
  bool ok = WriteAll(fd, header.data(), header.size()) &&
            WriteAll(fd, reinterpret_cast<const char*>(spins.data()), spins.size()) && fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (close(fd) != 0 && ok) ok = false, error = errno;
  // The rename replaces the entry itself: a link put there since the check
  // is replaced, never followed.
  if (ok && renameat(fd_, temporary.c_str(), fd_, name.c_str()) != 0) ok = false, error = errno;
  if (!ok) {
    unlinkat(fd_, temporary.c_str(), 0);
    throw OutputError(CannotWrite(shown, error));
  }
}

}  // namespace ebsim
