#pragma once
// What a sweep writes: one CSV row per realisation, and per grid point the
// mean, standard deviation and standard error of every read-out over the
// realisations that wrote it.

#include <cstdint>
#include <array>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"

namespace ebsim {

// A CSV field, quoted where it must be.
std::string CsvField(const std::string& text);

// The fields of one CSV line, quotes undone.
std::vector<std::string> ReadCsvFields(const std::string& line);

// The runs table: the grid's texts (columns named by the catalogue), the
// grid point, the realisation and its seed, every read-out's number as the
// shortest text of its double (empty: not written), the step counts and the
// error.
void WriteRunsHeader(std::ostream& out, const SweepGrid& grid);
void WriteRunsRow(std::ostream& out, const SweepGrid& grid, const SweepRow& row);
// A row written by WriteRunsRow read back (exactly: each number's text reads
// back as its double); throws std::invalid_argument for a line that is not one.
SweepRow ReadRunsRow(const std::string& line, const SweepGrid& grid, std::uint64_t realizations);

// Running statistics of one read-out at one grid point.
struct ReadoutStatistics {
  std::uint64_t count = 0;  // realisations that wrote it
  long double mean = 0;
  long double m2 = 0;       // sum of squared deviations from the mean

  void Add(long double x);
  // Sample standard deviation (n - 1); none below two values.
  std::optional<long double> StandardDeviation() const;
  std::optional<long double> StandardError() const;
};

// The summary, one line per grid point, written as the rows come: rows
// arrive in index order, so a grid point's line is written as soon as a row
// of a later point arrives, and only the open points are held in memory.
class SweepSummary {
 public:
  // Writes the header.
  SweepSummary(const SweepGrid& grid, std::ostream& out);
  // Failed realisations count as failed and add no read-out.
  void Add(const SweepRow& row);
  // Writes the lines of the points still open.
  void Finish();
  std::uint64_t LinesWritten() const { return written_; }

 private:
  struct Point {
    std::uint64_t realizations = 0;
    std::uint64_t failed = 0;
    std::array<ReadoutStatistics, kReadoutCount> readouts{};
  };
  void WriteLine(std::size_t index, const Point& point);
  const SweepGrid& grid_;
  std::ostream& out_;
  std::map<std::size_t, Point> open_;
  std::uint64_t written_ = 0;
};

}  // namespace ebsim
