#pragma once
// A sweep's rows and summary as Python tables: the columns of the runs CSV
// and the summary CSV, by the same names and in the same order, gathered
// as the rows come (without the GIL) and handed to Python at the end.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "batch/point_statistics.h"
#include "batch/sweep_grid.h"
#include "python/python_values.h"

namespace ebsim {

// A table's columns by name, and the table made of them: a pandas DataFrame
// with the columns in `names`' order when pandas can be imported, else a
// dict of the columns. Empties `columns`.
using Columns = std::map<std::string, py::object>;
py::object MakeTable(Columns& columns, const std::vector<std::string>& names);
// The grid's inputs of each point, as numbers read by the window's rules.
void AddGridColumns(Columns& columns, const SweepGrid& grid, const std::vector<std::int64_t>& points);

// Defines ebsim._grid_values(input, texts, separator): a grid axis's texts
// as the numbers the tables hold, for tables read back from files.
void AddGridValues(py::module_& module);

// Bytes that one row, and one grid point's summary, take in memory until and
// while the tables are made: the numbers of their columns twice (here and in
// the DataFrame), for each of their lines (one per cycle).
std::uint64_t RowBytes(const SweepGrid& grid);
std::uint64_t SummaryLineBytes(const SweepGrid& grid);

class RowsTable {
 public:
  RowsTable(const SweepGrid& grid, std::uint64_t rows);
  void Add(const SweepRow& row);
  // With the GIL; empties this.
  py::object Table();

 private:
  const SweepGrid& grid_;
  std::vector<std::int64_t> point_, realization_, cycle_, seed_, descending_, ascending_;
  std::array<std::vector<double>, kWrittenReadoutCount> readouts_;
  std::vector<std::pair<std::size_t, std::string>> errors_;  // row, text: the rows that failed
};

class SummaryTable {
 public:
  explicit SummaryTable(const SweepGrid& grid);
  void Add(const PointKey& key, const PointStatistics& statistics);
  // With the GIL; empties this.
  py::object Table();

 private:
  struct ReadoutColumns {
    std::vector<double> mean, sd, se;
    std::vector<std::int64_t> n;
  };
  const SweepGrid& grid_;
  std::vector<std::int64_t> point_, cycle_, realizations_, failed_;
  std::array<ReadoutColumns, kWrittenReadoutCount> readouts_;
};

}  // namespace ebsim
