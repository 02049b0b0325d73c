#pragma once
// The field steps of a Run, as the benchmarks replay them.

#include <vector>

#include "run/field_sweep.h"

struct FieldStep {
  ebsim::Branch branch;
  double H;
};

class StepList final : public ebsim::SweepObserver {
 public:
  void FieldStepDone(ebsim::Branch branch, double H, double) override { steps.push_back({branch, H}); }
  std::vector<FieldStep> steps;
};
