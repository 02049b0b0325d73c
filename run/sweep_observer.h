#pragma once
// What a caller of the Run hears while it goes.

#include <cstdint>
#include <vector>

#include "engine/branch.h"

namespace ebsim {

class SweepObserver {
 public:
  virtual ~SweepObserver() = default;
  // After the step at field H (before H moves on), whose relaxation left
  // the magnetization M.
  virtual void FieldStepDone(Branch branch, double H, double M) = 0;
  // After each row of a large lattice's set-up, before the first step: may
  // end the Run by throwing, as FieldStepDone may.
  virtual void SetUpRowDone() {}
  // Whether TurningPoint wants the spins: gathering them costs a pass.
  virtual bool WantsTurningSpins() const { return false; }
  // At Hmin, after the descending branch's last step: the n x n spins row
  // by row, site (i, j) at (i - 1) * n + (j - 1).
  virtual void TurningPoint(std::vector<std::int8_t> /*spins*/, int /*n*/) {}
};

}  // namespace ebsim
