#pragma once
// Each realisation's spins at Hmin, one file per realisation in a folder:
// DIR/point<P>_realization<R>.npy, P the grid point and R the realisation
// (both counted from 0, as in the runs table). A file is a NumPy array of
// version 1.0: int8 values -1 and +1, shape (side, side), row i of the
// lattice in row i - 1; numpy.load reads it.

#include <cstdint>
#include <string>
#include <vector>

#include "batch/sweep_runner.h"

namespace ebsim {

// The NumPy header of a side x side int8 array; the spins follow it row by
// row.
std::string SpinArrayHeader(int side);

std::string SpinFileName(std::size_t point, std::uint64_t realization);
// "step<K>.npy": a Run's spins after step K (from 0 over the whole Run).
std::string StepSpinFileName(std::int64_t step);

// The folder is held open, and its files are written relative to it: a
// temporary made anew beside the name, renamed onto the name once whole.
// A name that is a symbolic link (or anything but a regular file) is
// refused, so that whoever may write in a shared folder cannot make a
// sweep replace a file elsewhere.
class SpinFolder {
 public:
  // Makes the folder if it does not exist (its parent must); throws
  // OutputError when it is not a folder that may be written.
  explicit SpinFolder(std::string path);
  ~SpinFolder();
  SpinFolder(const SpinFolder&) = delete;
  SpinFolder& operator=(const SpinFolder&) = delete;
  // Writes the row's spins whole into their file, replacing an earlier one;
  // a row without spins writes nothing. Throws OutputError naming the file.
  void Write(const SweepRow& row) const;
  // Writes side x side spins into the folder's file `name` the same way.
  void WriteSpins(const std::string& name, const std::vector<std::int8_t>& spins, int side) const;

 private:
  std::string path_;
  int fd_ = -1;  // the folder
};

}  // namespace ebsim
