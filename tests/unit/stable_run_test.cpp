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

// Every dynamics and boundary gives the same Run on one thread and on two
// (the set-up's draws, the pass's bands, the lists' sort), and the boundary
// and dynamics both tell in the loop.
TEST(StableRunTest, OneAndTwoThreadsGiveTheSameRun) {
  HeadlessFields fields;
  fields.Set(Input::Side, "37");
  fields.Set(Input::Dilution, "0.3");
  fields.Set(Input::Enhancement, "2");
  fields.Set(Input::Steps, "60");
  const auto run = [&](int threads, const ModelOptions& model) {
    RunAllOptions options;
    options.keepLoop = true;
    options.threads = threads;
    options.model = model;
    Simulator simulator;
    return simulator.RunAll(fields, 4242, options);
  };
  std::vector<std::vector<LoopPoint>> loops;
  for (const DynamicsRule dynamics : {DynamicsRule::Pass, DynamicsRule::Stable}) {
    for (const Boundary boundary : {Boundary::EdgeCopy, Boundary::Periodic, Boundary::Open}) {
      SCOPED_TRACE(std::string(DynamicsName(dynamics)) + " " + std::string(BoundaryName(boundary)));
      std::vector<RunOutcome> outcomes;
      ModelOptions model;
      model.dynamics = dynamics;
      model.boundary = boundary;
      for (const int threads : {1, 2}) {
        outcomes.push_back(run(threads, model));
        ASSERT_FALSE(outcomes.back().error) << *outcomes.back().error;
      }
      ASSERT_EQ(outcomes[0].loop.size(), outcomes[1].loop.size());
      for (std::size_t k = 0; k < outcomes[0].loop.size(); ++k) {
        EXPECT_EQ(outcomes[0].loop[k].H, outcomes[1].loop[k].H);
        EXPECT_EQ(outcomes[0].loop[k].M, outcomes[1].loop[k].M);
      }
      for (int q = 0; q < kQuantityCount; ++q)
        EXPECT_EQ(outcomes[0].readouts.Of(static_cast<Quantity>(q)).text,
                  outcomes[1].readouts.Of(static_cast<Quantity>(q)).text);
      loops.push_back(outcomes[0].loop);
    }
  }
  // Above 2^20 sites the flip-field lists are sorted, and the first leg's
  // start scanned, on the team.
  fields.Set(Input::Side, "1100");
  fields.Set(Input::Dilution, "0.04");
  fields.Set(Input::Enhancement, "10");
  ModelOptions model;
  model.dynamics = DynamicsRule::Stable;
  model.adiabatic = true;
  std::vector<RunOutcome> adiabatic;
  for (const int threads : {1, 2}) {
    adiabatic.push_back(run(threads, model));
    ASSERT_FALSE(adiabatic.back().error) << *adiabatic.back().error;
  }
  ASSERT_EQ(adiabatic[0].loop.size(), adiabatic[1].loop.size());
  for (std::size_t k = 0; k < adiabatic[0].loop.size(); ++k) {
    ASSERT_EQ(adiabatic[0].loop[k].H, adiabatic[1].loop[k].H) << "row " << k;
    ASSERT_EQ(adiabatic[0].loop[k].M, adiabatic[1].loop[k].M) << "row " << k;
  }
  for (std::size_t a = 0; a < loops.size(); ++a)
    for (std::size_t b = a + 1; b < loops.size(); ++b) {
      bool differ = loops[a].size() != loops[b].size();
      for (std::size_t k = 0; !differ && k < loops[a].size(); ++k) differ = loops[a][k].M != loops[b][k].M;
      EXPECT_TRUE(differ) << a << " and " << b;
    }
}

}  // namespace
