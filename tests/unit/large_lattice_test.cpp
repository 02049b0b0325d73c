// Lattices beyond the window's 300 are set up and run without site maps;
// on sides the maps hold, that path must give every result the maps give,
// by the pass engine and by the event engine.

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "base/errors.h"
#include "form/headless_form.h"
#include "run/field_sweep.h"
#include "run/large_lattice.h"
#include "run/model_options.h"
#include "run/simulator.h"

using namespace ebsim;

namespace {

struct Inputs {
  std::vector<std::pair<Input, std::string>> texts;
  std::uint32_t seedMs;
};

void ExpectSameOutcome(const RunOutcome& maps, const RunOutcome& compact) {
  EXPECT_EQ(compact.error, maps.error);
  EXPECT_EQ(compact.stage, maps.stage);
  EXPECT_EQ(compact.side, maps.side);
  EXPECT_EQ(compact.steps.descending, maps.steps.descending);
  EXPECT_EQ(compact.steps.ascending, maps.steps.ascending);
  for (int k = 0; k < kQuantityCount; ++k) {
    const auto field = static_cast<Quantity>(k);
    EXPECT_EQ(compact.readouts.Of(field).text, maps.readouts.Of(field).text) << "read-out " << k;
    EXPECT_EQ(compact.readouts.Of(field).value, maps.readouts.Of(field).value) << "read-out " << k;
  }
  ASSERT_EQ(compact.loop.size(), maps.loop.size());
  for (std::size_t k = 0; k < maps.loop.size(); ++k) {
    EXPECT_EQ(compact.loop[k].H, maps.loop[k].H) << "step " << k;
    EXPECT_EQ(compact.loop[k].M, maps.loop[k].M) << "step " << k;
  }
}

// The spins a sweep keeps at the turning point.
class TurningSpins final : public SweepObserver {
 public:
  void FieldStepDone(Branch, double, double) override {}
  bool WantsTurningSpins() const override { return true; }
  void TurningPoint(std::vector<std::int8_t> spins, int n) override {
    spins_ = std::move(spins);
    side_ = n;
  }
  std::vector<std::int8_t> spins_;
  int side_ = 0;
};

TEST(LargeLatticeTest, CompactSetUpAndRunGiveWhatTheMapsGive) {
  using F = Input;
  std::vector<Inputs> cases = {
      {{{F::Side, "1"}}, 1},
      {{{F::Side, "2"}, {F::Dilution, "0.5"}}, 2},
      {{{F::Side, "3"}, {F::Steps, "4"}, {F::H0, "1"}, {F::Hmin, "-1"}}, 3},
      {{{F::Side, "17"}, {F::Dilution, "0.3"}, {F::Enhancement, "2.5"}, {F::FieldSd, "0.7"}}, 4},
      {{{F::Side, "40"}, {F::FieldSd, "0"}}, 5},                              // exact zeros
      {{{F::Side, "25"}, {F::Dilution, "1"}, {F::Enhancement, "1E308"}}, 6},  // overflow
      {{{F::Side, "12"}, {F::Dilution, "abc"}}, 7},                           // bad dilution
      {{{F::Side, "12"}, {F::Dilution, "0.5"}, {F::Enhancement, "x"}}, 8},    // bad constant, read
      {{{F::Side, "12"}, {F::Dilution, "0"}, {F::Enhancement, "x"}}, 9},      // bad constant, never read
      {{{F::Side, "12"}, {F::FieldSd, "sd"}}, 10},                            // bad spread
      {{{F::Side, "12"}, {F::H0, "-4"}}, 11},                                 // H0 below Hmin
  };
  // Rows of 64 sites and more take the kernels' block loop.
  for (int side : {5, 8, 19, 33, 70, 129}) cases.push_back({{{F::Side, std::to_string(side)}}, 86399999u - side});
  Simulator onMaps, compact, events;
  for (const Inputs& c : cases) {
    HeadlessFields fields;
    for (const auto& [field, text] : c.texts) fields.Set(field, text);
    SCOPED_TRACE("side " + fields.Text(F::Side) + ", seed " + std::to_string(c.seedMs));
    RunAllOptions keep;
    keep.keepLoop = true;
    RunAllOptions compactKeep = keep;
    compactKeep.compactLattice = true;
    compactKeep.threads = 2;
    TurningSpins mapSpins, compactSpins;
    keep.observer = &mapSpins;
    compactKeep.observer = &compactSpins;
    RunAllOptions eventsKeep = compactKeep;
    eventsKeep.model.engine = EngineChoice::Events;
    TurningSpins eventSpins;
    eventsKeep.observer = &eventSpins;
    const RunOutcome expected = onMaps.RunAll(fields, c.seedMs, keep);
    ExpectSameOutcome(expected, compact.RunAll(fields, c.seedMs, compactKeep));
    ExpectSameOutcome(expected, events.RunAll(fields, c.seedMs, eventsKeep));
    EXPECT_EQ(compactSpins.side_, mapSpins.side_);
    EXPECT_EQ(compactSpins.spins_, mapSpins.spins_);
    EXPECT_EQ(eventSpins.spins_, mapSpins.spins_);
  }
}

TEST(LargeLatticeTest, SidesBeyondTheMapsRunOnlyWhereAskedAndWhereMemoryHoldsThem) {
  HeadlessFields fields;
  fields.Set(Input::Side, "301");
  fields.Set(Input::Steps, "6");
  Simulator simulator;
  EXPECT_EQ(simulator.RunAll(fields, 1).error, "'301' is not a valid lattice side (1 to 300)");
  RunAllOptions large;
  large.largeSides = true;
  const RunOutcome outcome = simulator.RunAll(fields, 1, large);
  EXPECT_FALSE(outcome.error) << *outcome.error;
  EXPECT_EQ(outcome.side, 301);
  fields.Set(Input::Side, "46341");
  EXPECT_EQ(simulator.RunAll(fields, 1, large).error, "'46341' is not a valid lattice side (1 to 46340)");
  EXPECT_THROW(CheckLargeLatticeFits(kLargestSide, 1000), EConvertError);
}

// Hears the set-up's rows and the Run's steps, and throws at the call asked.
class Poll final : public SweepObserver {
 public:
  struct Stopped {};
  enum class Throw { kStop, kOutOfMemory };
  Poll(int atRow, int atStep, Throw what = Throw::kStop) : atRow_(atRow), atStep_(atStep), what_(what) {}
  void SetUpRowDone() override {
    ++rows;
    if (steps == 0) rowsBeforeFirstStep = rows;
    if (rows == atRow_) Raise();
  }
  void FieldStepDone(Branch, double, double) override {
    if (++steps == atStep_) Raise();
  }
  int rows = 0, steps = 0, rowsBeforeFirstStep = 0;

 private:
  void Raise() const {
    if (what_ == Throw::kOutOfMemory) throw std::bad_alloc();
    throw Stopped{};
  }
  int atRow_, atStep_;
  Throw what_;
};

// A stop is heard during the set-up, every row, not only once the steps
// begin; the set-up ends where it stands.
TEST(LargeLatticeTest, TheSetUpHearsEveryRowAndAStopEndsItWhereItStands) {
  HeadlessFields fields;
  fields.Set(Input::Side, "40");
  fields.Set(Input::Steps, "4");
  HeadlessReadouts readouts;
  const FormPort port{fields, readouts, nullptr};
  Simulator simulator;
  CompactProgress progress;
  for (int threads : {1, 2}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    Poll whole(0, 0);
    simulator.RunCompact(port, 3, threads, progress, &whole);
    EXPECT_GE(whole.rowsBeforeFirstStep, 2 * 40);  // both set-up runs
    EXPECT_EQ(whole.rows, whole.rowsBeforeFirstStep);
    EXPECT_GT(whole.steps, 0);
    const std::pair<int, const char*> stops[] = {{1, "lee"}, {whole.rows, "qrf"}};
    for (const auto& [row, stage] : stops) {
      Poll poll(row, 0);
      EXPECT_THROW(simulator.RunCompact(port, 3, threads, progress, &poll), Poll::Stopped) << row;
      EXPECT_STREQ(progress.stage, stage) << row;
      EXPECT_EQ(poll.steps, 0) << row;
      EXPECT_EQ(poll.rows, row);
    }
  }
}

// The flip fields' long work before the first step (the ordering of more
// than a million sites) hears a stop as the set-up does, and ends there.
TEST(LargeLatticeTest, TheOrderingOfTheFlipFieldsHearsAStop) {
  HeadlessFields fields;
  fields.Set(Input::Side, "1100");
  HeadlessReadouts readouts;
  const FormPort port{fields, readouts, nullptr};
  Simulator simulator;
  CompactProgress progress;
  ModelOptions pass, adiabatic;
  adiabatic.dynamics = DynamicsRule::Stable;
  adiabatic.adiabatic = true;
  std::vector<CycleOutcome> cycles;
  Poll setUp(0, 1);
  const ProtocolRun passRun{pass, &cycles};
  EXPECT_THROW(simulator.RunCompact(port, 3, 1, progress, &setUp, &passRun), Poll::Stopped);
  const ProtocolRun adiabaticRun{adiabatic, &cycles};
  Poll whole(0, 1);
  EXPECT_THROW(simulator.RunCompact(port, 3, 1, progress, &whole, &adiabaticRun), Poll::Stopped);
  EXPECT_GT(whole.rowsBeforeFirstStep, setUp.rows);
  Poll stop(setUp.rows + 1, 0);
  EXPECT_THROW(simulator.RunCompact(port, 3, 1, progress, &stop, &adiabaticRun), Poll::Stopped);
  EXPECT_EQ(stop.steps, 0);
  EXPECT_STREQ(progress.stage, "run");
}

// Memory that runs out in spite of the check is the Run's failure, with the
// stage it reached, on the maps and beyond them.
TEST(LargeLatticeTest, MemoryThatRunsOutIsTheRunsError) {
  struct Case {
    bool compact;
    int atRow, atStep;
    const char* stage;
  };
  const Case cases[] = {{true, 1, 0, "lee"}, {true, 0, 2, "run"}, {false, 0, 2, "run"}};
  HeadlessFields fields;
  fields.Set(Input::Side, "6");
  fields.Set(Input::Steps, "4");
  Simulator simulator;
  for (const Case& c : cases) {
    Poll poll(c.atRow, c.atStep, Poll::Throw::kOutOfMemory);
    RunAllOptions options;
    options.compactLattice = c.compact;
    options.observer = &poll;
    const RunOutcome outcome = simulator.RunAll(fields, 3, options);
    EXPECT_EQ(outcome.error, "Out of memory.") << c.stage;
    EXPECT_EQ(outcome.stage, c.stage);
  }
}

}  // namespace
