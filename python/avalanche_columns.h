#pragma once
// An adiabatic sweep's avalanche sizes as a Python table: for each grid
// point the avalanches of all its realisations, per branch in bins of
// powers of two, the columns of `ebsim sweep --avalanches`. Gathered as the
// rows come (without the GIL) and handed to Python at the end.

#include <cstddef>
#include <map>

#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"
#include "python/python_values.h"

namespace ebsim {

class AvalancheColumns {
 public:
  explicit AvalancheColumns(const SweepGrid& grid) : grid_(grid) {}
  void Add(const SweepRow& row) { points_[row.point].Merge(row.avalanches); }
  // With the GIL; empties this.
  py::object Table();

 private:
  const SweepGrid& grid_;
  std::map<std::size_t, AvalancheSizes> points_;
};

}  // namespace ebsim
