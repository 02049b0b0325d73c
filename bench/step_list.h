#pragma once
// The field steps of a Run, as the benchmarks replay them.

#include <memory>
#include <vector>

#include "form/field_parameters.h"
#include "form/headless_form.h"
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

// The field steps of a Run with the window's default texts.
inline std::vector<FieldStep> DefaultSteps() {
  using namespace ebsim;
  HeadlessFields fields;
  fields.Set(Input::Side, "1");
  HeadlessReadouts readouts;
  auto lattice = std::make_unique<LatticeState>();
  StepList list;
  RunHysteresis(FormPort{fields, readouts, nullptr}, FieldParameters(fields), *lattice, &list);
  return list.steps;
}
