#include "batch/spin_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/output_file.h"

namespace ebsim {

void WriteSpinArray(std::ostream& out, const std::vector<std::int8_t>& spins, int side) {
  std::string header = "{'descr': '|i1', 'fortran_order': False, 'shape': (" + std::to_string(side) + ", " +
                       std::to_string(side) + "), }";
  // Magic, version and length take 10 bytes; the header ends in a newline
  // with the whole padded to a multiple of 64.
  const std::size_t unpadded = 10 + header.size() + 1;
  header.append((64 - unpadded % 64) % 64, ' ');
  header += '\n';
  const char start[] = {'\x93', 'N', 'U', 'M', 'P', 'Y', 1, 0, static_cast<char>(header.size() & 0xFF),
                        static_cast<char>(header.size() >> 8)};
  out.write(start, sizeof start);
  out << header;
  out.write(reinterpret_cast<const char*>(spins.data()), static_cast<std::streamsize>(spins.size()));
}

std::string SpinFileName(std::size_t point, std::uint64_t realization) {
  return "point" + std::to_string(point) + "_realization" + std::to_string(realization) + ".npy";
}

SpinFolder::SpinFolder(std::string path) : path_(std::move(path)) {
  if (mkdir(path_.c_str(), 0777) != 0 && errno != EEXIST) throw OutputError(CannotWrite(path_, errno));
  struct stat info {};
  if (stat(path_.c_str(), &info) != 0) throw OutputError(CannotWrite(path_, errno));
  if (!S_ISDIR(info.st_mode)) throw OutputError(CannotWrite(path_, ENOTDIR));
  if (access(path_.c_str(), W_OK | X_OK) != 0) throw OutputError(CannotWrite(path_, errno));
}

void SpinFolder::Write(const SweepRow& row) const {
  if (row.spins.empty()) return;
  OutputFile file(path_ + "/" + SpinFileName(row.point, row.realization));
  WriteSpinArray(file.Stream(), row.spins, row.side);
  file.Commit();
}

}  // namespace ebsim
