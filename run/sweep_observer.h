#pragma once
// What a caller of the Run hears while it goes.

#include <cstdint>
#include <vector>

#include "engine/branch.h"
#include "run/loop_csv.h"

namespace ebsim {

class SweepObserver {
 public:
  virtual ~SweepObserver() = default;
  // After the step at field H (before H moves on), whose relaxation left
  // the magnetization M.
  virtual void FieldStepDone(Branch branch, double H, double M) = 0;
  // The same step with its cycle and the spins it reversed; by default told
  // on as FieldStepDone.
  virtual void StepDone(const LoopPoint& p) { FieldStepDone(p.branch, p.H, p.M); }
  // After each row of a large lattice's set-up, before the first step: may
  // end the Run by throwing, as FieldStepDone may.
  virtual void SetUpRowDone() {}
  // Now and then in an engine's long work between steps (the ordering of a
  // large lattice's sites, a scan, a large avalanche): may end the Run by
  // throwing, as SetUpRowDone may, which it calls unless overridden.
  virtual void EngineWorking() { SetUpRowDone(); }
  // Whether TurningPoint wants the spins: gathering them costs a pass.
  virtual bool WantsTurningSpins() const { return false; }
  // At Hmin, after the first descending leg's last step: the n x n spins row
  // by row, site (i, j) at (i - 1) * n + (j - 1).
  virtual void TurningPoint(std::vector<std::int8_t> /*spins*/, int /*n*/) {}
  // Whether the spins after step k (from 0 over the whole Run) are wanted,
  // and those spins, as TurningPoint gives them.
  virtual bool WantsStepSpins(std::int64_t /*step*/) const { return false; }
  virtual void StepSpins(std::int64_t /*step*/, std::vector<std::int8_t> /*spins*/, int /*n*/) {}
};

}  // namespace ebsim
