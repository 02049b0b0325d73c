#include "base/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <streambuf>
#include <vector>

namespace ebsim {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Paths the system hands out for its own streams and devices: never replaced.
bool IsSystemPath(const std::string& path) { return StartsWith(path, "/dev/") || StartsWith(path, "/proc/"); }

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path with every symlink along its last component followed.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t length = readlink(current.c_str(), link.data(), PATH_MAX);
    if (length < 0) return current;
    const std::string target(link.data(), static_cast<std::size_t>(length));
    current = target.front() == '/' ? target : Folder(current) + "/" + target;
  }
  errno = ELOOP;
  return {};
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string CannotWrite(const std::string& path, int error) {
  return "cannot write '" + path + "': " + std::strerror(error);
}

// An output buffer over a file descriptor that remembers the first error.
class OutputFile::Buffer : public std::streambuf {
 public:
  Buffer(int fd, bool owned) : fd_(fd), owned_(owned), data_(1 << 16) { setp(data_.data(), data_.data() + data_.size()); }
  ~Buffer() override { Close(); }
  int Fd() const { return fd_; }
  int Error() const { return error_; }
  bool Drain() {
    const char* at = pbase();
    while (error_ == 0 && at < pptr()) {
      const ssize_t written = ::write(fd_, at, static_cast<std::size_t>(pptr() - at));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) error_ = written < 0 ? errno : EIO;
      else at += written;
    }
    setp(data_.data(), data_.data() + data_.size());
    return error_ == 0;
  }
  bool Close() {
    if (owned_ && fd_ >= 0 && ::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    return error_ == 0;
  }
  void Fail(int error) {
    if (error_ == 0) error_ = error;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  int fd_;
  bool owned_;
  int error_ = 0;
  std::vector<char> data_;
};

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  int fd = -1;
  bool owned = true;
  struct stat info {};
  const bool exists = !path_.empty() && stat(path_.c_str(), &info) == 0;
  if (path_ == "-") {
    fd = STDOUT_FILENO;
    owned = false;
  } else if (exists && S_ISDIR(info.st_mode)) {
    throw OutputError(CannotWrite(path_, EISDIR));
  } else if (IsSystemPath(path_) || (exists && !S_ISREG(info.st_mode))) {
    // Appending keeps what a shell already sent to a redirected stream.
    fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) throw OutputError(CannotWrite(path_, errno));
  } else {
    // Root may write anything: a file without write permission is refused all the same.
    if (exists && (access(path_.c_str(), W_OK) != 0 || (info.st_mode & 0222) == 0))
      throw OutputError(CannotWrite(path_, EACCES));
    target_ = path_.empty() ? path_ : FollowLinks(path_);
    if (target_.empty()) throw OutputError(CannotWrite(path_, path_.empty() ? ENOENT : errno));
    temporary_ = Folder(target_) + "/." + BaseName(target_) + ".XXXXXX";
    fd = mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      temporary_.clear();
      throw OutputError(CannotWrite(path_, error));
    }
    fchmod(fd, exists ? (info.st_mode & 07777) : NewFileMode());
  }
  buffer_ = std::make_unique<Buffer>(fd, owned);
  stream_ = std::make_unique<std::ostream>(buffer_.get());
}

OutputFile::~OutputFile() {
  if (committed_) return;
  if (buffer_ && temporary_.empty()) buffer_->Drain();
  buffer_.reset();
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

std::ostream& OutputFile::Stream() { return *stream_; }

bool OutputFile::Good() const { return buffer_->Error() == 0 && static_cast<bool>(*stream_); }

void OutputFile::Commit() {
  if (committed_) return;
  bool ok = buffer_->Drain();
  if (ok && !temporary_.empty() && fsync(buffer_->Fd()) != 0) buffer_->Fail(errno);
  ok = buffer_->Close() && static_cast<bool>(*stream_);
  if (ok && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    buffer_->Fail(errno);
    ok = false;
  }
  if (!ok) throw OutputError(CannotWrite(path_, buffer_->Error() ? buffer_->Error() : EIO));
  temporary_.clear();
  committed_ = true;
}

bool SameOutputTarget(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return a == b;
  struct stat first {}, second {};
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0)
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  std::error_code ignored;
  return std::filesystem::weakly_canonical(FollowLinks(a), ignored) ==
         std::filesystem::weakly_canonical(FollowLinks(b), ignored);
}

}  // namespace ebsim
