#pragma once
// A sweep's loops as Python tables: every realisation's loop (the columns
// of the --loops file) and per grid point the loop averaged over its
// realisations (those of the --loop-mean file), gathered as the rows come,
// without the GIL, and handed to Python at the end.

#include <cstdint>
#include <optional>
#include <vector>

#include "batch/point_statistics.h"
#include "batch/sweep_grid.h"
#include "python/sweep_tables.h"

namespace ebsim {

// Bytes that one loop step takes in memory until and while the tables are
// made, in the loops table and in the averaged loops.
std::uint64_t LoopStepBytes();
std::uint64_t LoopMeanStepBytes();

class LoopsTable {
 public:
  // Extended: each step's flips and cycle too (a sweep with options of the
  // model).
  explicit LoopsTable(bool extended = false) : extended_(extended) {}
  void Add(const SweepRow& row);
  // With the GIL; empties this.
  py::object Table();

 private:
  bool extended_;
  std::vector<std::int64_t> point_, realization_, step_, flips_;
  std::vector<std::int64_t> cycle_;
  std::vector<bool> ascending_;
  std::vector<double> H_, M_;
};

// Rows arrive in index order: a point's steps are averaged as its rows
// come and put in the columns when a row of a later point arrives. Failed
// realisations add nothing; a step counts the realisations that reached it.
class LoopMeanTable {
 public:
  explicit LoopMeanTable(const SweepGrid& grid) : grid_(grid) {}
  void Add(const SweepRow& row);
  // With the GIL; empties this.
  py::object Table();

 private:
  struct Step {
    bool ascending = false;
    double H = 0;
    ReadoutStatistics M;
  };
  void ClosePoint();

  const SweepGrid& grid_;
  std::optional<std::size_t> open_;
  std::vector<Step> steps_;  // the open point's
  std::vector<std::int64_t> point_, step_, n_;
  std::vector<bool> ascending_;
  std::vector<double> H_, mean_, sd_, se_;
};

}  // namespace ebsim
