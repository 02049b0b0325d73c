#include "batch/runs_file_reader.h"

#include <sstream>
#include <stdexcept>

#include "batch/sweep_output.h"

namespace ebsim {

RunsFileReader::RunsFileReader(const std::string& path) : path_(path), in_(path, std::ios::binary) {
  if (!in_) throw std::runtime_error("cannot read '" + path + "'");
  std::string line;
  std::getline(in_, line);
  const std::optional<Json> metadata = ReadCommentLine(line);
  if (!metadata || metadata->value("file", "") != "runs" || !metadata->contains("sweep"))
    throw std::runtime_error("'" + path + "' is not a runs table of ebsim sweep (no metadata line)");
  metadata_ = *metadata;
  try {
    const Json& sweep = metadata_.at("sweep");
    grid_.emplace(GridOfIdentity(sweep));
    realizations_ = sweep.at("realizations").get<std::uint64_t>();
    shard_ = ParseShard(metadata_.value("shard", "0/1"));
  } catch (const std::exception& bad) {
    throw std::runtime_error("'" + path + "': metadata unreadable: " + bad.what());
  }
  std::getline(in_, header_);
  std::ostringstream expected;
  WriteRunsHeader(expected, *grid_);
  if (header_ + "\n" != expected.str()) throw std::runtime_error("'" + path + "' has another header");
}

std::optional<RunsFileReader::Row> RunsFileReader::Next() {
  std::string line;
  if (ended_ || !std::getline(in_, line) || line.rfind("#", 0) == 0) {
    ended_ = true;
    return std::nullopt;
  }
  try {
    return Row{line, ReadRunsRow(line, *grid_, realizations_)};
  } catch (const std::invalid_argument& bad) {
    throw std::runtime_error("'" + path_ + "': " + bad.what());
  }
}

}  // namespace ebsim
