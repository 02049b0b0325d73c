#pragma once
// Reads back a runs table that a sweep wrote: its metadata line, its header,
// then its rows one at a time, each as written and as numbers, each checked
// against the sweep its metadata names. Lines may end in CRLF.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "batch/sweep_metadata.h"
#include "batch/sweep_runner.h"

namespace ebsim {

class RunsFileReader {
 public:
  // A realisation's row: its line, or with a protocol of several cycles its
  // line of each cycle (joined by line ends), and its numbers.
  struct Row {
    std::string line;  // as written, without its last line end
    SweepRow row;
  };

  // Opens the file and reads its metadata and header; throws
  // std::runtime_error naming the file when it cannot be read (with the
  // system's reason), is not a runs table, or its metadata does not hold
  // together (counts that are not whole, out of range or disagree).
  explicit RunsFileReader(const std::string& path);

  const std::string& Path() const { return path_; }
  const Json& Metadata() const { return metadata_; }
  const SweepGrid& Grid() const { return *grid_; }
  std::uint64_t Realizations() const { return realizations_; }
  SweepShard Shard() const { return shard_; }
  const std::string& Header() const { return header_; }
  // The next row, or none at the end line, at the end of the file, or at a
  // last row cut short, mid-line or before its last cycle (CutRow() then
  // gives its first line). Throws
  // std::runtime_error naming the file and the line for a line that is not
  // a row of this sweep (another table's, another grid point's values,
  // another seed, a read-out that is not a finite number, a row outside
  // the file's shard), a row given twice or out of order, a row's cycles
  // out of order or ended by the end line, and lines after the end line.
  std::optional<Row> Next();
  // The line of the row the file ends in, cut mid-line (its writer was
  // stopped while writing it); 0 when it ends in a whole line.
  std::uint64_t CutRow() const { return cutRow_; }

 private:
  bool ReadLine(std::string& line, bool& cut);
  std::optional<Row> NextLine(std::uint64_t& cycle);
  SweepRow RowOf(const std::string& line, std::uint64_t& cycle) const;
  void CheckOrder(const SweepRow& row);
  void CheckNothingAfterEnd();
  [[noreturn]] void Refuse(const std::string& what) const;

  std::string path_;
  std::ifstream in_;
  Json metadata_;
  std::optional<SweepGrid> grid_;
  std::uint64_t realizations_ = 1;
  std::uint32_t seedMs_ = 0;
  SweepShard shard_;
  std::string header_;
  std::uint64_t lines_ = 0;      // physical lines read
  std::uint64_t lineStart_ = 0;  // where the last line read started
  std::optional<std::uint64_t> lastIndex_;
  std::uint64_t cutRow_ = 0;
  bool ended_ = false;
  bool atEndLine_ = false;
};

}  // namespace ebsim
