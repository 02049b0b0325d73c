#pragma once
// Two HDF5 files of ebsim compared as a rerun compares them: every dataset
// (the tables, their coordinates, the spins) value for value, bit for bit;
// the attributes (the provenance: start and end times, the command) are
// not compared.

#include <optional>
#include <string>
#include <vector>

namespace ebsim {

struct H5FileHead {
  std::string metadata;   // the root's attribute "metadata", the CSV files' first line
  bool complete = false;  // the root's attribute "complete" is 1
};

// Throws std::runtime_error with the library's reason when the file cannot
// be read or has no metadata attribute.
H5FileHead ReadH5FileHead(const std::string& path);

struct H5Comparison {
  // The first difference: a dataset of the original the copy lacks, or of
  // another shape or type, or with another value (named with the
  // element's number); none when every dataset of the original is the
  // copy's.
  std::optional<std::string> difference;
  // The copy's datasets the original has not (a file of an earlier
  // version, without the columns added since).
  std::vector<std::string> added;
};
// Throws std::runtime_error when either cannot be read.
H5Comparison CompareH5Files(const std::string& original, const std::string& copy);

}  // namespace ebsim
