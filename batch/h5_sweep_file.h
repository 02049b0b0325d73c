#pragma once
// A sweep's results in one HDF5 file, which h5py reads and xarray opens
// (engine "h5netcdf"). The root group is the runs table, every column an
// array over the grid's axes of more than one text and the realisation,
// with the spins at Hmin beside it; the groups "summary", "loops" and
// "loop_mean" hold the other tables over their own dimensions (the grid's
// axes, then the realisation and the step where they have them). Each
// axis is a coordinate (the numbers its texts read as, the texts as its
// attribute "texts"), an axis of one text a scalar coordinate; "written"
// marks the elements that hold a line. The provenance is the root's
// attributes: the metadata line of the CSV files as "metadata", and its
// parts (version, command, seed, start...), then the end time, the rows
// written and "complete" (0 until the sweep's share is finished).
//
// The file is written under a temporary beside its name (TemporaryOutput)
// and put in place by Commit, so that a stopped sweep leaves a whole file
// that says it is incomplete, and a failed one leaves what stood there.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/sweep_metadata.h"
#include "batch/sweep_runner.h"

namespace ebsim {

// What the file holds beside the runs table and the summary.
struct H5Contents {
  bool loops = false;
  bool loopMeans = false;
  bool spins = false;
};

class H5SweepFile {
 public:
  // Makes the file's temporary, its groups and coordinates; `metadata` is
  // the object of the CSV files' first line. Throws OutputError naming
  // `path` (a folder, standard output, a file that may not be written, a
  // full disk...).
  H5SweepFile(const std::string& path, const SweepPlan& plan, const H5Contents& contents, const Json& metadata);
  ~H5SweepFile();
  H5SweepFile(const H5SweepFile&) = delete;
  H5SweepFile& operator=(const H5SweepFile&) = delete;

  const std::string& Path() const;
  // A finished row, as the CSV writers get it, in index order: its line of
  // the runs table, its grid point's summary, its loop, its point's loop
  // mean and its spins. Throws OutputError naming the path.
  void Add(const SweepRow& row);
  // Writes the last lines and the closing attributes and closes the file;
  // throws OutputError. Without it the temporary is removed.
  void Finish(std::uint64_t rows, bool complete);
  // Whether nothing failed so far.
  bool Good() const;
  // Puts the finished file in place; throws OutputError.
  void Commit();
  // Once committed: removes the temporaries of this target that killed
  // writers left; returns their paths.
  std::vector<std::string> RemoveStaleTemporaries() const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// A sweep's HDF5 file read back for --resume.
class H5SweepReader {
 public:
  // Opens the file and reads its metadata; throws std::runtime_error
  // naming it when it cannot be read or is not a sweep's HDF5 file.
  explicit H5SweepReader(const std::string& path);
  ~H5SweepReader();
  const std::string& Path() const;
  const Json& Metadata() const;
  // Whether it holds spins.
  bool HasSpins() const;
  // Hands over the rows of the plan's shard it holds from the first on, up
  // to the first it does not hold, in order, each with its spins when
  // `spins`; returns how many. Throws std::runtime_error for a file that
  // does not hold this sweep's tables.
  std::uint64_t FinishedRows(const SweepPlan& plan, bool spins,
                             const std::function<void(const SweepRow&)>& onRow) const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace ebsim
