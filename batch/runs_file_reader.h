#pragma once
// Reads back a runs table that a sweep wrote: its metadata line, its header,
// then its rows one at a time, each as written and as numbers.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "batch/sweep_metadata.h"
#include "batch/sweep_runner.h"

namespace ebsim {

class RunsFileReader {
 public:
  struct Row {
    std::string line;  // as written, without its newline
    SweepRow row;
  };

  // Opens the file and reads its metadata and header; throws
  // std::runtime_error naming the file when it is not a runs table.
  explicit RunsFileReader(const std::string& path);

  const std::string& Path() const { return path_; }
  const Json& Metadata() const { return metadata_; }
  const SweepGrid& Grid() const { return *grid_; }
  std::uint64_t Realizations() const { return realizations_; }
  SweepShard Shard() const { return shard_; }
  const std::string& Header() const { return header_; }
  // The next row, or none at the end line or the end of the file; throws
  // std::runtime_error for a line that is not a row.
  std::optional<Row> Next();

 private:
  std::string path_;
  std::ifstream in_;
  Json metadata_;
  std::optional<SweepGrid> grid_;
  std::uint64_t realizations_ = 1;
  SweepShard shard_;
  std::string header_;
  bool ended_ = false;
};

}  // namespace ebsim
