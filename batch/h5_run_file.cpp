#include "batch/h5_run_file.h"

#include "form/catalogue.h"

namespace ebsim {

namespace {

SweepGrid GridOf(const FieldTexts& fields) {
  std::vector<GridAxis> axes;
  for (const InputEntry& input : Inputs()) axes.push_back({input.option, input.input, {fields.Text(input.input)}});
  return SweepGrid(std::move(axes), fields.Separator());
}

SweepPlan PlanOf(const SweepGrid& grid, std::uint32_t seedMs, const ModelOptions& model) {
  SweepPlan plan;
  plan.model = model;
  plan.grid = &grid;
  plan.seedMs = seedMs;
  plan.keepLoops = true;
  return plan;
}

}  // namespace

H5RunFile::H5RunFile(const std::string& path, const FieldTexts& fields, std::uint32_t seedMs, const Json& metadata,
                     const ModelOptions& model)
    : grid_(GridOf(fields)),
      plan_(PlanOf(grid_, seedMs, model)),
      file_(path, plan_, H5Contents{true, false, false}, metadata) {}

void H5RunFile::Finish(SweepRow row) {
  row.seedMs = plan_.seedMs;
  file_.Add(row);
  file_.Finish(1, true);
}

}  // namespace ebsim
