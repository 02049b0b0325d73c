#pragma once
// Two HDF5 files of ebsim compared as a rerun compares them: every dataset
// (the tables, their coordinates, the spins) value for value, bit for bit;
// the attributes (the provenance: start and end times, the command) are
// not compared.

#include <optional>
#include <string>

namespace ebsim {

struct H5FileHead {
  std::string metadata;   // the root's attribute "metadata", the CSV files' first line
  bool complete = false;  // the root's attribute "complete" is 1
};

// Throws std::runtime_error with the library's reason when the file cannot
// be read or has no metadata attribute.
H5FileHead ReadH5FileHead(const std::string& path);

// The first difference: a dataset only one of them holds, of another shape
// or type, or with another value (named with the element's number); none
// when they hold the same datasets with the same values. Throws
// std::runtime_error when either cannot be read.
std::optional<std::string> H5Difference(const std::string& original, const std::string& copy);

}  // namespace ebsim
