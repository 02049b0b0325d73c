#include "base/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <streambuf>
#include <vector>

#include "base/output_paths.h"
#include "base/temporary_files.h"

namespace ebsim {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Paths the system hands out for its own streams and devices: never replaced.
bool IsSystemPath(const std::string& path) { return StartsWith(path, "/dev/") || StartsWith(path, "/proc/"); }

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
    file_ = std::make_unique<TemporaryOutput>(path_);
    fd = file_->Fd();
    owned = false;
  }
  buffer_ = std::make_unique<Buffer>(fd, owned);
  stream_ = std::make_unique<std::ostream>(buffer_.get());
}

OutputFile::~OutputFile() {
  if (committed_) return;
  if (buffer_ && !file_) buffer_->Drain();
  buffer_.reset();
  file_.reset();
}

std::ostream& OutputFile::Stream() { return *stream_; }

bool OutputFile::Good() const { return buffer_->Error() == 0 && static_cast<bool>(*stream_); }

void OutputFile::Commit() {
  if (committed_) return;
  bool ok = buffer_->Drain() && static_cast<bool>(*stream_);
  if (ok && !file_) ok = buffer_->Close();
  if (!ok) throw OutputError(CannotWrite(path_, buffer_->Error() ? buffer_->Error() : EIO));
  if (file_) {
    try {
      file_->Commit();
    } catch (const OutputError&) {
      buffer_->Fail(EIO);
      throw;
    }
  }
  committed_ = true;
}

std::vector<std::string> OutputFile::RemoveStaleTemporaries() const {
  return committed_ && file_ ? file_->RemoveStaleTemporaries() : std::vector<std::string>{};
}

}  // namespace ebsim
