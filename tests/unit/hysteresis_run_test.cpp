// Whole Runs on the window's maps: the loops of single sites, the lag of
// the first reversals, maps no set-up filled, refused inputs, and Runs
// against a sweep written out by hand over the literal reference.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "form/field_numbers.h"
#include "run/loop_measurements.h"
#include "tests/reference_relaxation.h"
#include "tests/unit/run_fixture.h"

using namespace ebsim;

namespace {

// A single site (side 1): the neighbour field is 0 and the local field is
// the random field plus H. Spins as the Run's observer sees them.
TEST_F(RunTest, SingleSiteLoops) {
  struct Case {
    const char* name;
    double q, spin;
    const char* h0;
    const char* hmin;
    const char* steps;
    std::vector<double> down, up;  // M after each step
  };
  const Case cases[] = {
      // Whole fields through an exact zero local field: kept on the way
      // down, reversed on the way up, and reversed again while the product
      // stays zero.
      {"zero products", 0.0, 1.0, "1", "-1", "4", {1, 1, 1, 1}, {1, 1, -1, 1}},
      // No zero: the field changes sign in pass 2, the spin turns in pass 3,
      // at H0 - 2 x step.
      {"two-pass lag", 0.0, 1.0, "1", "-1", "3", {1, 1, -1}, {-1, -1, 1}},
      // A strong negative random field: opposite to the spin from the start
      // and never changing sign, so never turned.
      {"strong field", -10.0, 1.0, "3", "-3", "6", {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}},
      // Turned only when the local field changes sign, and then opposite to
      // it again.
      {"stays opposite", 0.5, -1.0, "3", "-3", "6", {-1, -1, -1, 1, 1}, {1, 1, 1, -1, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Texts(c.h0, c.hmin, c.steps);
    L().QrfMap(1, 1) = c.q;
    L().SpinMap(1, 1) = c.spin;
    // Cells beyond the block are not the site's neighbours.
    L().ExchangeMap(1, 2) = L().ExchangeMap(2, 1) = 100.0;
    L().SpinMap(1, 2) = L().SpinMap(2, 1) = 1.0;
    Recorder recorder(L(), 1);
    ASSERT_EQ(Run(&recorder), "");
    std::vector<double> expected = c.down;
    expected.insert(expected.end(), c.up.begin(), c.up.end());
    EXPECT_EQ(recorder.Magnetizations(), expected);
    EXPECT_EQ(L().NeighbourFieldMap(1, 1), 0.0);
    EXPECT_EQ(L().SpinMap(1, 1), 1.0);  // set back at the end
  }
}

TEST_F(RunTest, NoReversalInTheFirstTwoPasses) {
  for (std::uint32_t ms : {0u, 1u, 12345u}) {
    SetUpLattice(w, L(), ms);
    Recorder recorder(L(), 20);
    ASSERT_EQ(Run(&recorder), "");
    const std::uint64_t allUp = recorder.steps.front().spins;
    ASSERT_GT(recorder.steps.size(), 3u);
    EXPECT_EQ(recorder.steps[1].spins, allUp);
    EXPECT_EQ(recorder.steps[0].M, 1.0);
    EXPECT_EQ(recorder.steps[1].M, 1.0);
  }
  // With a lattice where every local field changes sign in the second pass
  // the first reversals come in the third, at H0 - 2 x step.
  w.texts[Input::Side] = "4";
  L().SpinMap.FillBlock(4, 1.0);
  L().ExchangeMap.FillBlock(4, 0.0);
  L().QrfMap.FillBlock(4, -2.99);
  Recorder recorder(L(), 4);
  ASSERT_EQ(Run(&recorder), "");
  EXPECT_EQ(recorder.steps[1].M, 1.0);
  EXPECT_EQ(recorder.steps[2].M, -1.0);
  EXPECT_NEAR(recorder.steps[2].H, 2.92, 1e-15);
}

TEST_F(RunTest, RunOnAllZeroMaps) {
  Recorder recorder(L(), 20);
  recorder.onStep = [&](Branch, double, double M) {
    EXPECT_EQ(M, 0.0);
    for (int i = 1; i <= 20; ++i)
      for (int j = 1; j <= 20; ++j) ASSERT_EQ(L().SpinMap(i, j), 0.0);
  };
  ASSERT_EQ(Run(&recorder), "");
  ASSERT_EQ(recorder.steps.size(), 302u);
  // Every local field is H: those of the last two steps are kept.
  for (int i = 1; i <= 20; ++i)
    for (int j = 1; j <= 20; ++j) {
      ASSERT_EQ(L().NeighbourFieldMap(i, j), 0.0);
      ASSERT_EQ(L().LocalFieldMap(i, j), recorder.steps[301].H);
      ASSERT_EQ(L().PrevLocalFieldMap(i, j), recorder.steps[300].H);
    }
  for (int i = 1; i <= 21; ++i)
    for (int j = 1; j <= 21; ++j) EXPECT_EQ(L().SpinMap(i, j), i <= 20 && j <= 20 ? 1.0 : 0.0);
  // No spin is drawn, no crossing found, none counted.
  EXPECT_EQ(w.Count("fill"), 0);
  EXPECT_EQ(w.Of(Quantity::EbShift).text, "     ");
  EXPECT_EQ(w.Of(Quantity::PlusSpinsAtHmin).value, 0.0L);
  EXPECT_EQ(w.Of(Quantity::MinusSpinsAtHmax).value, 0.0L);
  EXPECT_EQ(w.Of(Quantity::OpenEnd).value, 1.0L);

  // The next Run starts from spins up with every constant 0: every site
  // sees the field alone and all turn together.
  Recorder second(L(), 20);
  ASSERT_EQ(Run(&second), "");
  EXPECT_EQ(second.steps.front().M, 1.0);
  for (const StepRecord& s : second.steps) EXPECT_TRUE(s.M == 1.0 || s.M == -1.0) << s.M;
  EXPECT_EQ(second.steps.back().M, 1.0);
  EXPECT_EQ(second.steps[150].M, -1.0);
}

TEST_F(RunTest, TwoRunsInARowAreIdentical) {
  SetUpLattice(w, L(), 0);
  auto setupOnly = [&] {
    return BlockHash(L().ExchangeMap, 20) ^ BlockHash(L().QrfMap, 20) * 3 ^ BlockHash(L().FmEnergyMap, 20) * 7;
  };
  const std::uint64_t setup = setupOnly();
  Recorder first(L(), 20), second(L(), 20);
  ASSERT_EQ(Run(&first), "");
  const std::map<Quantity, FakeWindow::ReadoutState> readouts = w.readouts;
  const std::vector<int> progress = w.progress;
  w.Forget();
  ASSERT_EQ(Run(&second), "");
  EXPECT_EQ(first.steps, second.steps);
  EXPECT_EQ(w.progress, progress);
  for (const auto& [field, state] : readouts) {
    EXPECT_EQ(w.readouts[field].text, state.text) << ReadoutFieldName(field);
    EXPECT_EQ(w.readouts[field].value, state.value) << ReadoutFieldName(field);
  }
  // The set-up maps are read, never written.
  EXPECT_EQ(setupOnly(), setup);
}

// Inputs that cannot make a loop, and sides the lattice cannot hold, are
// refused before the frame and before any map is touched.

// Inputs that cannot make a loop, and sides the lattice cannot hold, are
// refused before the frame and before any map is touched.
TEST_F(RunTest, RefusedInputs) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* side;
    const char* steps;
    const char* error;
    std::vector<std::string> reads;
  };
  const std::vector<std::string> all = {"read:Edit4", "read:Edit5", "read:Edit6", "read:Edit4", "read:Edit10"};
  const Case cases[] = {
      {"3", "-3", "0", "300", "'0' is not a valid lattice side (1 to 300)", {"read:Edit4", "read:Edit5"}},
      {"3", "-3", "301", "300", "'301' is not a valid lattice side (1 to 300)", {"read:Edit4", "read:Edit5"}},
      {"3", "-3", "-5", "300", "'-5' is not a valid lattice side (1 to 300)", {"read:Edit4", "read:Edit5"}},
      {"3", "-3", "x", "300", "'x' is not a valid integer value", {"read:Edit4", "read:Edit5"}},
      {"3", "-3", "20", "0", "'0' is not a valid number of steps (1 or more)", {"read:Edit4", "read:Edit5", "read:Edit6"}},
      {"3", "-3", "20", "-4", "'-4' is not a valid number of steps (1 or more)", {"read:Edit4", "read:Edit5", "read:Edit6"}},
      {"-3", "3", "20", "300", "Init. Mag. Field must not be below Min. Mag. Field", all},
      {"1e-400", "0", "20", "300", "The field range is too small for the number of steps", all},
      {"3", "abc", "20", "300", "'abc' is not a valid floating point value", all},
      {"", "-3", "20", "300", "'' is not a valid floating point value", {"read:Edit4"}},
  };
  SetUpLattice(w, L(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin + " " + c.side + " " + c.steps);
    const std::uint64_t before = MapsHash(L(), 300);
    w.Forget();
    Texts(c.h0, c.hmin, c.steps, c.side);
    EXPECT_EQ(Run(), c.error);
    std::vector<std::string> expected = {"refresh:Shape4"};
    expected.insert(expected.end(), c.reads.begin(), c.reads.end());
    EXPECT_EQ(w.Words(), expected);
    EXPECT_EQ(MapsHash(L(), 300), before);
  }
}

// Faults in the frame's scale stop the Run after the field axis.

TEST_F(RunTest, RunUsesTheSideInItsOwnField) {
  SetUpLattice(w, L(), 0);  // side 20
  w.texts[Input::Side] = "10";
  Recorder recorder(L(), 10);
  ASSERT_EQ(Run(&recorder), "");
  // Magnetizations in hundredths: the mean over 10 x 10 sites.
  for (const StepRecord& s : recorder.steps) EXPECT_NEAR(s.M * 100, std::round(s.M * 100), 1e-9) << s.M;
  // Cells beyond the Run's block keep what the set-up left there.
  for (int i = 1; i <= 20; ++i)
    for (int j = 1; j <= 20; ++j) {
      if (i <= 10 && j <= 10) continue;
      ASSERT_EQ(L().LocalFieldMap(i, j), 0.0) << i << "," << j;
    }
  EXPECT_NE(L().LocalFieldMap(10, 10), 0.0);
}

// ---------------------------------------------------------------------------
// Whole Runs against a sweep driven by the reference relaxation: the
// schedule as written, the same measurements.

struct ReferenceRunResult {
  std::vector<StepRecord> steps;
  std::map<Quantity, FakeWindow::ReadoutState> readouts;
};

std::int64_t CountOf(const LatticeState& s, int n, double spin) {
  std::int64_t count = 0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) count += s.SpinMap(i, j) == spin;
  return count;
}

ReferenceRunResult ReferenceRun(FakeWindow& w, LatticeState& s) {
  const FormPort port = w.Port();
  auto h0 = [&] { return ReadRealField(w.texts.at(Input::H0), DecimalSeparator()); };
  auto hmin = [&] { return ReadRealField(w.texts.at(Input::Hmin), DecimalSeparator()); };
  s.InitialField = static_cast<double>(h0());
  s.AppliedField = s.InitialField;
  const int n = ReadIntegerField(w.texts.at(Input::Side));
  const int stepCount = ReadIntegerField(w.texts.at(Input::Steps));
  const double fieldStep = static_cast<double>((std::fabs(h0()) + std::fabs(hmin())) / (stepCount * 0.5L));
  s.MinMagnetization = 1.0;
  s.MaxMagnetization = 0.5;
  std::int64_t spinSum = 0;
  ReferenceRelaxation reference(s, n);
  const FieldParameters parameters(w);
  LoopMeasurements measurements(port, parameters, s, n, fieldStep, spinSum);
  measurements.StartSweep();
  reference.InitLocalFields(s.AppliedField);
  s.PlusSpinCount = s.MinusSpinCount = 0;
  ReferenceRunResult result;
  double& H = s.AppliedField;
  auto step = [&](Branch branch) {
    reference.Relax(H, branch);
    spinSum = static_cast<std::int64_t>(reference.SpinTotal());
    measurements.MeasureStep(branch, H);
    result.steps.push_back({branch, H, measurements.Magnetization(), BlockHash(s.SpinMap, n)});
    H = static_cast<double>(branch == kDown ? H - static_cast<long double>(fieldStep) : H + static_cast<long double>(fieldStep));
  };
  while (hmin() - fieldStep <= H && H <= h0() + fieldStep) step(kDown);
  measurements.AddPlusSpins(CountOf(s, n, 1.0));
  H = static_cast<double>(hmin());
  while (hmin() - fieldStep <= H && H <= h0() + fieldStep) step(kUp);
  measurements.AddMinusSpins(CountOf(s, n, -1.0));
  measurements.WriteEndReadouts();
  s.SpinMap.FillBlock(n, 1.0);
  result.readouts = w.readouts;
  return result;
}

TEST(ReferenceRunTest, RunsMatchTheReferenceSweep) {
  struct Case {
    std::uint32_t ms;
    const char* side;
    const char* steps;
    const char* h0;
    const char* hmin;
    const char* sd;
    const char* dilution;
    const char* enhancement;
  };
  const Case cases[] = {
      {0, "6", "40", "6", "-6", "2", "0.04", "10"},  {1, "7", "60", "6", "-6", "1", "0.2", "10"},
      {2, "5", "30", "5", "-6", "1", "0.3", "0.3"},  {3, "8", "8", "4", "-4", "0", "0.5", "2"},
      {4, "4", "24", "3", "-3", "0", "0.5", "10"},   {5, "6", "50", "6.5", "-6.5", "0.5", "0.1", "1.7"},
      {6, "1", "10", "1", "-1", "1", "0.5", "10"},   {7, "2", "16", "3", "-3", "2", "0.5", "10"},
      {8, "9", "60", "6", "-6", "2", "0.04", "10"},
  };
  int crossings = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ms) + " side " + c.side);
    FakeWindow w, v;
    w.texts = {{Input::Side, c.side}, {Input::Dilution, c.dilution}, {Input::Enhancement, c.enhancement},
               {Input::FieldSd, c.sd}, {Input::H0, c.h0},             {Input::Hmin, c.hmin},
               {Input::Steps, c.steps}};
    v.texts = w.texts;
    auto engineState = std::make_unique<LatticeState>();
    auto refState = std::make_unique<LatticeState>();
    SetUpLattice(w, *engineState, c.ms);
    SetUpLattice(v, *refState, c.ms);
    const int n = std::stoi(c.side);
    Recorder recorder(*engineState, n);
    const FormPort port = w.Port();
    ASSERT_EQ(ErrorMessageOf([&] { RunHysteresis(port, FieldParameters(w), *engineState, &recorder); }), "");
    ReferenceRunResult reference;
    ASSERT_EQ(ErrorMessageOf([&] { reference = ReferenceRun(v, *refState); }), "");
    EXPECT_EQ(recorder.steps, reference.steps);
    for (const auto& [field, state] : reference.readouts) {
      EXPECT_EQ(w.readouts[field].text, state.text) << ReadoutFieldName(field);
      EXPECT_EQ(w.readouts[field].value, state.value) << ReadoutFieldName(field);
    }
    crossings += w.readouts[Quantity::Coercivity].value.has_value();
    EXPECT_EQ(BlockHash(engineState->SpinMap, n), BlockHash(refState->SpinMap, n));
    EXPECT_EQ(BlockHash(engineState->LocalFieldMap, n), BlockHash(refState->LocalFieldMap, n));
    EXPECT_EQ(BlockHash(engineState->PrevLocalFieldMap, n), BlockHash(refState->PrevLocalFieldMap, n));
    EXPECT_EQ(engineState->AppliedField, refState->AppliedField);
  }
  EXPECT_GE(crossings, 4);  // loops that opened and closed
}

}  // namespace
