#pragma once
// Each realisation's spins at Hmin, one file per realisation in a folder:
// DIR/point<P>_realization<R>.npy, P the grid point and R the realisation
// (both counted from 0, as in the runs table). A file is a NumPy array of
// version 1.0: int8 values -1 and +1, shape (side, side), row i of the
// lattice in row i - 1; numpy.load reads it.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "batch/sweep_runner.h"

namespace ebsim {

// The array's bytes: the NumPy header, then the spins row by row.
void WriteSpinArray(std::ostream& out, const std::vector<std::int8_t>& spins, int side);

std::string SpinFileName(std::size_t point, std::uint64_t realization);

class SpinFolder {
 public:
  // Makes the folder if it does not exist (its parent must); throws
  // OutputError when it is not a folder that may be written.
  explicit SpinFolder(std::string path);
  // Writes the row's spins whole into their file, replacing an earlier one;
  // a row without spins writes nothing. Throws OutputError.
  void Write(const SweepRow& row) const;

 private:
  std::string path_;
};

}  // namespace ebsim
