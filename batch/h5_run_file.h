#pragma once
// The HDF5 file of one run (ebsim run --h5): laid out as a sweep of one
// grid point and one realisation (h5_sweep_file.h), so that one reader
// takes both: the runs table's line, the summary of it and the loop, with
// the run's provenance as attributes.

#include <cstdint>
#include <string>
#include <vector>

#include "batch/h5_sweep_file.h"
#include "batch/sweep_grid.h"
#include "form/form_fields.h"

namespace ebsim {

class H5RunFile {
 public:
  // Makes the file's temporary; `metadata` is the object of the run's
  // --loop-csv metadata line; the model's protocol sizes the loop and, beyond
  // the window's options, adds flips and cycle to it. Throws OutputError
  // naming `path`.
  H5RunFile(const std::string& path, const FieldTexts& fields, std::uint32_t seedMs, const Json& metadata,
            const ModelOptions& model = {});
  // Writes the run's outcome (its loop when it kept one) and closes the
  // file; throws OutputError.
  void Finish(SweepRow row);
  void Commit() { file_.Commit(); }
  std::vector<std::string> RemoveStaleTemporaries() const { return file_.RemoveStaleTemporaries(); }

 private:
  SweepGrid grid_;
  SweepPlan plan_;
  H5SweepFile file_;
};

}  // namespace ebsim
