// Adiabatic Runs: every avalanche's spins against relaxation to stability
// (no flip fields) at the avalanche's field, with no reversal one double
// before it; the sizes against the spins they reversed; the loop repeated.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/round_trip_text.h"
#include "form/headless_form.h"
#include "run/simulator.h"

using namespace ebsim;

namespace {

// Every step's spins and row.
class SpinsEachStep final : public SweepObserver {
 public:
  void FieldStepDone(Branch, double, double) override {}
  void StepDone(const LoopPoint& p) override { rows.push_back(p); }
  bool WantsStepSpins(std::int64_t) const override { return true; }
  void StepSpins(std::int64_t, std::vector<std::int8_t> s, int) override { spins.push_back(std::move(s)); }
  std::vector<LoopPoint> rows;
  std::vector<std::vector<std::int8_t>> spins;
};

HeadlessFields Fields(const char* h0) {
  HeadlessFields fields;
  fields.Set(Input::Side, "11");
  fields.Set(Input::Dilution, "0.3");
  fields.Set(Input::Enhancement, "2");
  fields.Set(Input::FieldSd, "4");
  fields.Set(Input::H0, h0);
  fields.Set(Input::Hmin, "-8");
  return fields;
}

RunOutcome RunWith(const HeadlessFields& fields, const ModelOptions& model, SpinsEachStep& observer) {
  RunAllOptions options;
  options.model = model;
  options.observer = &observer;
  options.keepAvalanches = true;
  Simulator simulator;
  return simulator.RunAll(fields, 2002, options);
}

std::int64_t Reversed(const std::vector<std::int8_t>& a, const std::vector<std::int8_t>& b) {
  std::int64_t count = 0;
  for (std::size_t s = 0; s < a.size(); ++s) count += a[s] != b[s];
  return count;
}

TEST(AdiabaticRunTest, AvalanchesAreTheStableStatesAtTheirFlipFields) {
  for (const Boundary boundary : {Boundary::EdgeCopy, Boundary::Periodic, Boundary::Open}) {
    SCOPED_TRACE(std::string(BoundaryName(boundary)));
    const HeadlessFields fields = Fields("3");  // not saturating: avalanches at H0 itself
    ModelOptions model;
    model.dynamics = DynamicsRule::Stable;
    model.boundary = boundary;
    model.adiabatic = true;
    SpinsEachStep adiabatic;
    const RunOutcome outcome = RunWith(fields, model, adiabatic);
    ASSERT_FALSE(outcome.error) << *outcome.error;
    ASSERT_EQ(adiabatic.rows.size(), outcome.avalanches.size());
    ASSERT_GT(adiabatic.rows.size(), 20u);
    // The sizes are the spins each avalanche reversed, all of one sign.
    std::vector<std::int8_t> before(121, 1);
    std::int64_t counted[2] = {0, 0};
    for (std::size_t k = 0; k < adiabatic.rows.size(); ++k) {
      const LoopPoint& p = adiabatic.rows[k];
      ASSERT_EQ(outcome.avalanches[k].size, p.flips);
      ASSERT_EQ(Reversed(before, adiabatic.spins[k]), p.flips) << "avalanche " << k;
      before = adiabatic.spins[k];
      ++counted[p.branch == Branch::Ascending];
    }
    EXPECT_EQ(outcome.avalancheSizes.Count(Branch::Descending), counted[0]);
    EXPECT_EQ(outcome.avalancheSizes.Count(Branch::Ascending), counted[1]);

    // The history of the avalanches' fields, each preceded by the double
    // just before it: relaxed there, nothing reverses; at the field, the
    // spins of its last avalanche.
    ModelOptions history;
    history.dynamics = DynamicsRule::Stable;
    history.boundary = boundary;
    history.engine = EngineChoice::Pass;
    history.fields.emplace();
    std::vector<std::size_t> lastAt;  // the avalanche each history value ends, or none
    const double h0 = 3;
    history.fields->push_back(RoundTripText(h0));
    lastAt.push_back(SIZE_MAX);
    double previous = h0;
    for (std::size_t k = 0; k < adiabatic.rows.size(); ++k) {
      const double H = adiabatic.rows[k].H;
      if (k + 1 < adiabatic.rows.size() && adiabatic.rows[k + 1].H == H) continue;
      if (H != previous) {
        const double justBefore = std::nextafter(H, previous);
        if (justBefore != previous) {
          history.fields->push_back(RoundTripText(justBefore));
          lastAt.push_back(SIZE_MAX);
        }
        history.fields->push_back(RoundTripText(H));
        lastAt.push_back(k);
      } else {
        lastAt.back() = k;  // avalanches at H0
      }
      previous = H;
    }
    SpinsEachStep stable;
    const RunOutcome reference = RunWith(fields, history, stable);
    ASSERT_FALSE(reference.error) << *reference.error;
    ASSERT_EQ(stable.rows.size(), lastAt.size());
    for (std::size_t v = 0; v < lastAt.size(); ++v) {
      SCOPED_TRACE("history value " + std::to_string(v) + " H = " + RoundTripText(stable.rows[v].H));
      if (lastAt[v] != SIZE_MAX) {
        EXPECT_EQ(stable.spins[v], adiabatic.spins[lastAt[v]]);
      } else if (v > 0) {
        EXPECT_EQ(stable.rows[v].flips, 0);
      }
    }
  }
}

// Return-point memory: from a saturating H0, every cycle's avalanches are
// the first's, and the sizes of a cycle's legs balance.
TEST(AdiabaticRunTest, EveryCycleRepeatsTheFirst) {
  ModelOptions model;
  model.dynamics = DynamicsRule::Stable;
  model.boundary = Boundary::Periodic;
  model.adiabatic = true;
  model.cycles = 3;
  model.cyclesGiven = true;
  SpinsEachStep observer;
  const RunOutcome outcome = RunWith(Fields("60"), model, observer);
  ASSERT_FALSE(outcome.error) << *outcome.error;
  std::vector<std::vector<Avalanche>> cycles(3);
  std::int64_t balance[3] = {0, 0, 0};
  for (const Avalanche& a : outcome.avalanches) {
    cycles[static_cast<std::size_t>(a.cycle - 1)].push_back(a);
    balance[a.cycle - 1] += a.branch == Branch::Descending ? a.size : -a.size;
  }
  ASSERT_FALSE(cycles[0].empty());
  for (int c = 1; c < 3; ++c) {
    ASSERT_EQ(cycles[static_cast<std::size_t>(c)].size(), cycles[0].size());
    for (std::size_t k = 0; k < cycles[0].size(); ++k) {
      EXPECT_EQ(cycles[static_cast<std::size_t>(c)][k].H, cycles[0][k].H);
      EXPECT_EQ(cycles[static_cast<std::size_t>(c)][k].size, cycles[0][k].size);
    }
  }
  for (const std::int64_t b : balance) EXPECT_EQ(b, 0);  // every spin back at +1 by H0
}

}  // namespace
