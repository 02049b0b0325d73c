#include "batch/runs_file_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "batch/metadata_checks.h"
#include "batch/sweep_output.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

std::string PointText(const SweepRow& row) {
  return "point " + std::to_string(row.point) + " realization " + std::to_string(row.realization);
}

// A line for a message: its start when it is long.
std::string Shown(const std::string& text) { return text.size() > 120 ? text.substr(0, 120) + "..." : text; }

// How a header differs from the one this sweep's runs table has: the
// columns it lacks and those it has beyond them.
std::string HeaderDifference(const std::string& header, const SweepGrid& grid) {
  const std::vector<std::string> given = ReadCsvFields(header), expected = RunsColumns(grid);
  auto missing = [](const std::vector<std::string>& from, const std::vector<std::string>& in) {
    std::string names;
    for (const std::string& name : from)
      if (std::find(in.begin(), in.end(), name) == in.end()) names += (names.empty() ? "" : ", ") + Shown(name);
    return names;
  };
  const std::string lacks = missing(expected, given), extra = missing(given, expected);
  std::string why;
  if (!lacks.empty()) why = "it lacks the columns " + lacks;
  if (!extra.empty())
    why += std::string(why.empty() ? "" : "; ") + "it has the columns " + extra + ", which this ebsim does not write";
  if (why.empty()) return "its columns stand in another order";
  if (!lacks.empty()) why += " (a file of another version of ebsim? that version resumes and merges it)";
  return why;
}

}  // namespace

RunsFileReader::RunsFileReader(const std::string& path) : path_(path) {
  errno = 0;
  in_.open(path, std::ios::binary);
  struct stat info {};
  const int error = !in_ ? (errno ? errno : ENOENT) : stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error) throw std::runtime_error("cannot read '" + path + "': " + std::strerror(error));
  std::string line;
  bool cut = false;
  if (!ReadLine(line, cut)) throw std::runtime_error("'" + path + "' is empty, not a runs table of ebsim sweep");
  if (line.rfind("\x89HDF", 0) == 0)
    throw std::runtime_error("'" + path + "' is an HDF5 file, not a runs table (--h5 names a sweep's HDF5 file; "
                             "ebsim merge takes the runs tables of the shards)");
  try {
    metadata_ = ReadMetadataLine(line, path, "runs");
    const Json& sweep = metadata_.at("sweep");
    grid_.emplace(GridOfIdentity(sweep));
    CheckSweepCounts(sweep, *grid_);
    realizations_ = sweep.at("realizations").get<std::uint64_t>();
    seedMs_ = sweep.at("seed_ms").get<std::uint32_t>();
    shard_ = ParseShard(metadata_.value("shard", "0/1"));
  } catch (const std::invalid_argument& bad) {
    const std::string what = bad.what();
    throw std::runtime_error(what.rfind("'", 0) == 0 ? what : "'" + path + "': metadata refused: " + what);
  } catch (const std::exception& bad) {
    throw std::runtime_error("'" + path + "': metadata unreadable: " + bad.what());
  }
  if (!ReadLine(header_, cut) || cut) throw std::runtime_error("'" + path + "' ends before its header");
  std::ostringstream expected;
  WriteRunsHeader(expected, *grid_);
  if (header_ + "\n" != expected.str()) 
    throw std::runtime_error("'" + path + "' has another header than this sweep's runs table: " +
                             HeaderDifference(header_, *grid_));
}

// A CSV line: a quoted field may hold line ends. A CR before a line end is
// dropped.
bool RunsFileReader::ReadLine(std::string& line, bool& cut) {
  line.clear();
  cut = false;
  lineStart_ = lines_ + 1;
  std::string part;
  for (bool first = true; std::getline(in_, part); first = false) {
    ++lines_;
    cut = in_.eof();  // the file ends without the line's newline
    if (!cut && !part.empty() && part.back() == '\r') part.pop_back();
    if (!first) line += '\n';
    line += part;
    if (cut || std::count(line.begin(), line.end(), '"') % 2 == 0) return true;
  }
  return lines_ >= lineStart_;
}

void RunsFileReader::Refuse(const std::string& what) const {
  throw std::runtime_error("'" + path_ + "', line " + std::to_string(lineStart_) + ": " + what);
}

std::optional<RunsFileReader::Row> RunsFileReader::NextLine(std::uint64_t& cycle) {
  std::string line;
  bool cut = false;
  if (ended_ || !ReadLine(line, cut)) {
    ended_ = true;
    return std::nullopt;
  }
  if (line.rfind("#", 0) == 0) {
    ended_ = true;
    atEndLine_ = true;
    if (!cut) CheckNothingAfterEnd();
    return std::nullopt;
  }
  if (cut) {  // a row its writer never finished; whatever it reads as, it is not the row
    ended_ = true;
    cutRow_ = lineStart_;
    return std::nullopt;
  }
  return Row{line, RowOf(line, cycle)};
}

std::optional<RunsFileReader::Row> RunsFileReader::Next() {
  std::uint64_t cycle = 0;
  std::optional<Row> row = NextLine(cycle);
  if (!row) return row;
  const std::uint64_t cycles = static_cast<std::uint64_t>(grid_->Cycles());
  if (cycles > 0 && cycle != 1) Refuse(PointText(row->row) + " begins at cycle " + std::to_string(cycle) + ", not 1");
  const std::uint64_t first = lineStart_;
  for (std::uint64_t c = 2; c <= cycles; ++c) {
    std::optional<Row> next = NextLine(cycle);
    if (!next && atEndLine_)
      Refuse(PointText(row->row) + " ends at cycle " + std::to_string(c - 1) + " of " + std::to_string(cycles));
    if (!next) {  // its writer was stopped before the row's last cycle
      cutRow_ = first;
      return std::nullopt;
    }
    if (next->row.index != row->row.index || cycle != c)
      Refuse("cycle " + std::to_string(cycle) + " of " + PointText(next->row) + " where cycle " + std::to_string(c) +
             " of " + PointText(row->row) + " belongs");
    row->line += '\n' + next->line;
    row->row.cycles.push_back(next->row.cycles.front());
  }
  CheckOrder(row->row);
  return row;
}

SweepRow RunsFileReader::RowOf(const std::string& line, std::uint64_t& cycle) const {
  SweepRow row;
  try {
    row = ReadRunsRow(line, *grid_, realizations_, cycle);
  } catch (const std::invalid_argument& bad) {
    Refuse(Shown(bad.what()));
  }
  const std::vector<std::string> fields = ReadCsvFields(line);
  const std::vector<std::string> texts = grid_->PointTexts(row.point);
  for (std::size_t a = 0; a < texts.size(); ++a)
    if (fields[a] != texts[a])
      Refuse("a row of another sweep (" + PointText(row) + "): its " + grid_->Axes()[a].option + " is '" +
             Shown(fields[a]) + "', the point's is '" + texts[a] + "'");
  const std::string seed = std::to_string(RealizationSeed(seedMs_, row.realization));
  const std::size_t seedField = texts.size() + (grid_->Cycles() > 0 ? 3 : 2);
  if (fields[seedField] != seed)
    Refuse("a row of another sweep (" + PointText(row) + "): its seed_ms is " + Shown(fields[seedField]) +
           ", not " + seed + " as the metadata's seed gives");
  std::size_t k = seedField + 1;
  for (std::size_t r = 0; r < kWrittenReadoutCount; ++r, ++k) {
    const auto& value = row.readouts[r];
    if (value && !std::isfinite(*value))
      Refuse("a row no sweep wrote (" + PointText(row) + "): its " + WrittenReadouts()[r].id + " is '" +
             Shown(fields[k]) + "', not a finite number");
  }
  if (row.index % shard_.count != shard_.index)
    Refuse("a row of another shard: " + PointText(row) + " is not in shard " + ShardText(shard_));
  return row;
}

void RunsFileReader::CheckOrder(const SweepRow& row) {
  if (lastIndex_ && row.index == *lastIndex_) Refuse(PointText(row) + " given twice");
  if (lastIndex_ && row.index < *lastIndex_) {
    SweepRow last;
    last.point = static_cast<std::size_t>(*lastIndex_ / realizations_);
    last.realization = *lastIndex_ % realizations_;
    Refuse("rows out of order: " + PointText(row) + " after " + PointText(last));
  }
  lastIndex_ = row.index;
}

void RunsFileReader::CheckNothingAfterEnd() {
  std::string line;
  bool cut = false;
  while (ReadLine(line, cut))
    if (!line.empty()) Refuse("a line after the end line (two tables in one file?)");
}

}  // namespace ebsim
