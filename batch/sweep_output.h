#pragma once
// What a sweep writes: one CSV row per realisation, and per grid point the
// mean, standard deviation and standard error of every read-out over the
// values its rows hold.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/point_statistics.h"
#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"
#include "batch/table_columns.h"

namespace ebsim {

// A CSV field, quoted where it must be.
std::string CsvField(std::string_view text);

// The fields of one CSV line, quotes undone.
std::vector<std::string> ReadCsvFields(const std::string& line);

// The columns of the runs table and of the summary, in the order written.
std::vector<TableColumn> RunsTableColumns(const SweepGrid& grid);
std::vector<TableColumn> SummaryTableColumns(const SweepGrid& grid);
std::vector<std::string> RunsColumns(const SweepGrid& grid);
std::vector<std::string> SummaryColumns(const SweepGrid& grid);

// The grid's texts of a point, one cell per axis.
void AddGridCells(Cells& cells, const SweepGrid& grid, std::size_t point);
// A line of the runs table's, and a point's line (of a cycle) of the
// summary.
void RunsCells(Cells& cells, const SweepGrid& grid, const RunsLine& line);
void SummaryCells(Cells& cells, const SweepGrid& grid, const PointKey& key, const PointStatistics& statistics);

// The runs table: the grid's texts (columns named by the catalogue), the
// grid point, the realisation (and with the grid's cycles the cycle) and its
// seed, every read-out's number as the shortest text of its double (empty:
// not written), the step counts and the error. A row is a line per cycle.
void WriteRunsHeader(std::ostream& out, const SweepGrid& grid);
void WriteRunsRow(std::ostream& out, const SweepGrid& grid, const SweepRow& row);
// A line of the runs table read back from its cells (RunsCells undone): a
// row of that line's numbers alone (with the grid's cycles, its one cycle's
// numbers also in `cycles`), and its cycle (0 without a cycle column);
// throws std::invalid_argument naming `shown` for cells of another table or
// a row outside the sweep.
SweepRow RunsRowOfCells(const Cells& cells, const SweepGrid& grid, std::uint64_t realizations,
                        const std::string& shown, std::uint64_t& cycle);
// A line written by WriteRunsRow read back (exactly: each number's text
// reads back as its double); throws std::invalid_argument for a line that
// is not one.
SweepRow ReadRunsRow(const std::string& line, const SweepGrid& grid, std::uint64_t realizations,
                     std::uint64_t& cycle);

// The summary, one line per grid point, written as the rows come: rows
// arrive in index order, so a grid point's line is written as soon as a row
// of a later point arrives, and only the open points are held in memory.
class SweepSummary {
 public:
  // Writes the header.
  SweepSummary(const SweepGrid& grid, std::ostream& out);
  // Hands the lines to `sink`.
  SweepSummary(const SweepGrid& grid, TableSink& sink);
  SweepSummary(const SweepSummary&) = delete;
  SweepSummary& operator=(const SweepSummary&) = delete;
  // See PointStatistics::Add.
  void Add(const SweepRow& row) {
    for (const RunsLine& line : RunsLines(grid_, row)) tally_.Add(line);
  }
  // Writes the lines of the points still open.
  void Finish() { tally_.Finish(); }
  std::uint64_t LinesWritten() const { return written_; }

 private:
  void WriteLine(const PointKey& key, const PointStatistics& point);
  const SweepGrid& grid_;
  std::optional<CsvTable> csv_;
  TableSink& sink_;
  PointTally tally_;
  Cells cells_;
  std::uint64_t written_ = 0;
};

}  // namespace ebsim
