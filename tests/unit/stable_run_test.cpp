// Whole Runs with another dynamics or boundary: the engine the model asks
// for, on the set-up of its boundary.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "form/headless_form.h"
#include "run/simulator.h"

using namespace ebsim;

namespace {

// With no enhanced sites the model is symmetric under reversing every spin,
// field and random field, and a loop from H0 = -Hmin has no shift on
// average: relaxation to stability on a periodic lattice.
TEST(StableRunTest, NoShiftOnAverageWithoutEnhancedSites) {
  HeadlessFields fields;
  fields.Set(Input::Side, "16");
  fields.Set(Input::Dilution, "0");
  fields.Set(Input::Steps, "40");
  fields.Set(Input::H0, "4");
  fields.Set(Input::Hmin, "-4");
  fields.Set(Input::FieldSd, "1.5");
  RunAllOptions options;
  options.model.dynamics = DynamicsRule::Stable;
  options.model.boundary = Boundary::Periodic;
  Simulator simulator;
  const int realisations = 400;
  long double sum = 0, squares = 0;
  int shifted = 0;
  for (int k = 1; k <= realisations; ++k) {
    const RunOutcome outcome = simulator.RunAll(fields, static_cast<std::uint32_t>(1000 * k), options);
    ASSERT_FALSE(outcome.error) << *outcome.error;
    const std::optional<long double> shift = outcome.readouts.Of(Quantity::EbShift).value;
    ASSERT_TRUE(shift);
    sum += *shift;
    squares += *shift * *shift;
    shifted += *shift != 0;
  }
  const long double mean = sum / realisations;
  const long double sd = std::sqrt((squares - realisations * mean * mean) / (realisations - 1));
  EXPECT_GT(shifted, realisations / 2);  // single lattices do shift
  EXPECT_LT(std::fabs(mean), 3 * sd / std::sqrt(static_cast<long double>(realisations)))
      << "mean " << static_cast<double>(mean) << ", sd " << static_cast<double>(sd);
}

}  // namespace
