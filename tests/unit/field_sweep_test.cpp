// The Run: the field schedule, the spin relaxation against the literal
// full-recomputation reference, the flip rules, the refusals, and what the
// Run shows while it goes.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "form/field_numbers.h"
#include "form/field_parameters.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"
#include "run/field_sweep.h"
#include "run/loop_measurements.h"
#include "form/loop_plot.h"
#include "form/panel_geometry.h"
#include "form/run_display.h"
#include "tests/reference_relaxation.h"
#include "tests/unit/canvas_window.h"

using namespace ebsim;

namespace {

constexpr Branch kDown = Branch::Descending;
constexpr Branch kUp = Branch::Ascending;

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// A hash of the block of a map, bit by bit.
std::uint64_t BlockHash(const SiteMap& map, int n) {
  std::uint64_t h = 1469598103934665603ull;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) h = (h ^ Bits(map(i, j))) * 1099511628211ull;
  return h;
}

std::uint64_t MapsHash(const LatticeState& s, int n) {
  std::uint64_t h = 0;
  for (const SiteMap* map : {&s.SpinMap, &s.ExchangeMap, &s.QrfMap, &s.FmEnergyMap, &s.NeighbourFieldMap,
                             &s.PrevLocalFieldMap, &s.LocalFieldMap})
    h = h * 31 + BlockHash(*map, n);
  return h;
}

struct StepRecord {
  Branch branch;
  double H;
  double M;
  std::uint64_t spins;  // hash of the spin block after the pass
  bool operator==(const StepRecord&) const = default;
};

// Hears every field step of a Run and notes the spins as the pass left them.
class Recorder final : public SweepObserver {
 public:
  Recorder(const LatticeState& lattice, int n) : lattice_(lattice), n_(n) {}
  void FieldStepDone(Branch branch, double H, double M) override {
    steps.push_back({branch, H, M, BlockHash(lattice_.SpinMap, n_)});
    if (onStep) onStep(branch, H, M);
  }
  std::vector<double> Fields(Branch branch) const {
    std::vector<double> fields;
    for (const StepRecord& s : steps)
      if (s.branch == branch) fields.push_back(s.H);
    return fields;
  }
  std::vector<double> Magnetizations() const {
    std::vector<double> m;
    for (const StepRecord& s : steps) m.push_back(s.M);
    return m;
  }

  std::vector<StepRecord> steps;
  std::function<void(Branch, double, double)> onStep;

 private:
  const LatticeState& lattice_;
  int n_;
};

// "Run LEE Constants" and "Run QRF Fields" with the window's texts and the
// clock at ms.
void SetUpLattice(CanvasWindow& w, LatticeState& lattice, std::uint32_t ms) {
  RandomNumbers random;
  const FixedClock clock(ms);
  RunExchangeEnhancement(w.Port(), FieldParameters(w), lattice, random, clock);
  RunRandomField(w.Port(), FieldParameters(w), lattice, random);
}

// ---------------------------------------------------------------------------
// The single-cell engine against the full recomputation, pass by pass.

// Up to this side plus a margin of cells outside the block are filled, the
// margin with values that would show if the engine read them.
constexpr int kMaxRandomSide = 12;
constexpr int kFilled = kMaxRandomSide + 2;

enum class Exchange { Nice, Dyadic, Arbitrary, Wide, Huge };
enum class Spins { Up, Random, Unset };
enum class Fields { Zero, Whole, Arbitrary, Huge };

struct RandomLattice {
  int n;
  Exchange exchange;
  Spins spins;
  Fields fields;
};

// Fills the cells up to kFilled x kFilled from the generator: the block
// from the kinds asked for, the rest with stray values.
void Fill(std::mt19937_64& rng, const RandomLattice& c, LatticeState& s) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double dilution = unit(rng);
  auto exchange = [&]() -> double {
    const double u = unit(rng);
    switch (c.exchange) {
      case Exchange::Nice: return u < dilution ? 10.0 : 1.0;
      case Exchange::Dyadic: return u < 0.25 ? 0.5 : u < 0.5 ? -3.0 : u < 0.6 ? 0.0 : u < 0.8 ? 2.0 : 1.0;
      case Exchange::Arbitrary: return u < dilution ? 0.1 : u < 0.8 ? 1.0 : unit(rng) * 15 - 3;
      // Magnitudes far apart: the order of the terms shows in the rounding.
      case Exchange::Wide: return std::ldexp(u < 0.5 ? 1 + unit(rng) : -1 - unit(rng), static_cast<int>(unit(rng) * 80) - 40);
      case Exchange::Huge: return u < 0.5 ? 5e307 : u < 0.7 ? -6e307 : 1.0;
    }
    return 1.0;
  };
  auto spin = [&]() -> double {
    switch (c.spins) {
      case Spins::Up: return 1.0;
      case Spins::Random: return unit(rng) < 0.5 ? 1.0 : -1.0;
      case Spins::Unset: return 0.0;
    }
    return 1.0;
  };
  auto field = [&](int i, int j) -> double {
    const double u = unit(rng);
    switch (c.fields) {
      case Fields::Zero: return 0.0;
      case Fields::Whole: return std::floor(u * 5) - 2;
      case Fields::Arbitrary: return u < 0.2 ? 0.0 : (unit(rng) - 0.5) * 8;
      // Only away from the edges, where the passes take their fast way.
      case Fields::Huge: return i == 1 || j == 1 || i == c.n || j == c.n ? 0.0 : u < 0.5 ? 1.7e308 : -1.7e308;
    }
    return 0.0;
  };
  for (int i = 1; i <= kFilled; ++i) {
    for (int j = 1; j <= kFilled; ++j) {
      const bool inside = i <= c.n && j <= c.n;
      s.ExchangeMap(i, j) = inside ? exchange() : 1e6 + i;
      s.SpinMap(i, j) = inside ? spin() : 7.0;
      s.QrfMap(i, j) = inside ? field(i, j) : -1e6;
      s.NeighbourFieldMap(i, j) = inside ? unit(rng) : 12345.0;
      s.PrevLocalFieldMap(i, j) = inside ? unit(rng) : 23456.0;
      s.LocalFieldMap(i, j) = inside ? unit(rng) : 34567.0;
    }
  }
}

// Compares the engine's lattice with the reference's over the filled
// cells: spins and both local fields bit for bit everywhere, the neighbour
// field at every cell of the block as it stood after the cell's visit and
// untouched outside it.
::testing::AssertionResult SameState(const LatticeState& engine, const LatticeState& ref,
                                     const ReferenceRelaxation& reference, int n) {
  for (int i = 1; i <= kFilled; ++i) {
    for (int j = 1; j <= kFilled; ++j) {
      const bool inside = i <= n && j <= n;
      const std::pair<const char*, std::pair<double, double>> cells[] = {
          {"SpinMap", {engine.SpinMap(i, j), ref.SpinMap(i, j)}},
          {"PrevLocalFieldMap", {engine.PrevLocalFieldMap(i, j), ref.PrevLocalFieldMap(i, j)}},
          {"LocalFieldMap", {engine.LocalFieldMap(i, j), ref.LocalFieldMap(i, j)}},
          {"NeighbourFieldMap",
           {engine.NeighbourFieldMap(i, j),
            inside ? reference.VisitedNeighbourField()(i, j) : ref.NeighbourFieldMap(i, j)}},
      };
      for (const auto& [name, values] : cells) {
        if (Bits(values.first) != Bits(values.second))
          return ::testing::AssertionFailure() << name << "(" << i << "," << j << ") is " << values.first
                                               << " instead of " << values.second;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(RelaxationTest, SingleCellEvaluationMatchesFullRecomputation) {
  std::mt19937_64 rng(20240611);
  auto engineState = std::make_unique<LatticeState>();
  auto refState = std::make_unique<LatticeState>();
  const double wholeFields[] = {3.0, 2.0, 1.0, 0.0, -1.0, -2.0};
  int passes = 0, passesWithReversals = 0, zeroProducts = 0, faults = 0;
  NullSurface nothing;  // every other lattice takes the drawing path
  int casesOfKind[5] = {};
  for (int k = 0; k < 700; ++k) {
    RandomLattice c{};
    c.n = std::uniform_int_distribution<int>(1, kMaxRandomSide)(rng);
    const int e = std::uniform_int_distribution<int>(0, 19)(rng);
    c.exchange = e < 6   ? Exchange::Nice
                 : e < 10 ? Exchange::Dyadic
                 : e < 15 ? Exchange::Arbitrary
                 : e < 19 ? Exchange::Wide
                          : Exchange::Huge;
    const int sp = std::uniform_int_distribution<int>(0, 9)(rng);
    c.spins = sp < 4 ? Spins::Up : sp < 9 ? Spins::Random : Spins::Unset;
    const int f = std::uniform_int_distribution<int>(0, 29)(rng);
    c.fields = f < 8 ? Fields::Zero : f < 16 ? Fields::Whole : f < 29 ? Fields::Arbitrary : Fields::Huge;
    ++casesOfKind[static_cast<int>(c.exchange)];

    const std::uint64_t fillSeed = rng();
    std::mt19937_64 fillEngine(fillSeed), fillReference(fillSeed);
    Fill(fillEngine, c, *engineState);
    Fill(fillReference, c, *refState);

    // Applied fields: whole ones (with whole constants and fields they give
    // exact zeros) or any; with enormous random fields sometimes enormous
    // too, so that their sum leaves the double range.
    std::uniform_real_distribution<double> any(-4.0, 4.0);
    auto nextField = [&] {
      const int pick = std::uniform_int_distribution<int>(0, 5)(rng);
      if (c.fields == Fields::Huge && pick == 0) return rng() % 2 ? 1.5e308 : -1.5e308;
      return pick > 1 ? wholeFields[rng() % std::size(wholeFields)] : any(rng);
    };
    SCOPED_TRACE("case " + std::to_string(k) + " side " + std::to_string(c.n));
    SpinRelaxation engine(*engineState, c.n);
    ReferenceRelaxation reference(*refState, c.n);
    const double h0 = nextField();
    const std::string engineInit = ErrorMessageOf([&] { engine.InitLocalFields(h0); });
    const std::string refInit = ErrorMessageOf([&] { reference.InitLocalFields(h0); });
    ASSERT_EQ(engineInit, refInit);
    ASSERT_TRUE(SameState(*engineState, *refState, reference, c.n)) << "initial pass";
    if (!refInit.empty()) {
      ++faults;
      continue;
    }
    const int count = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int p = 0; p < count; ++p) {
      const Branch branch = rng() % 2 ? kUp : kDown;
      const double H = nextField();
      for (int i = 1; i <= c.n; ++i)
        for (int j = 1; j <= c.n; ++j)
          zeroProducts += refState->PrevLocalFieldMap(i, j) * refState->LocalFieldMap(i, j) == 0;
      const double before = reference.SpinTotal();
      const std::string engineError = ErrorMessageOf([&] { engine.RelaxPass(H, branch, k % 2 ? &nothing : nullptr); });
      const std::string refError = ErrorMessageOf([&] { reference.RelaxPass(H, branch); });
      ASSERT_EQ(engineError, refError) << "pass " << p;
      ASSERT_TRUE(SameState(*engineState, *refState, reference, c.n)) << "pass " << p << " at H = " << H;
      if (!refError.empty()) {
        ++faults;
        break;
      }
      ASSERT_EQ(static_cast<double>(engine.SpinSum()), reference.SpinTotal()) << "pass " << p;
      passesWithReversals += before != reference.SpinTotal();
      ++passes;
    }
  }
  // The lattices were varied enough to mean something.
  EXPECT_GT(passes, 2000);
  EXPECT_GT(passesWithReversals, 300);
  EXPECT_GT(zeroProducts, 1000);
  EXPECT_GT(faults, 5);
  for (int kind : casesOfKind) EXPECT_GT(kind, 20);
}

// The flip test on a single site (side 1: no neighbour field), from the
// two latest local fields.
TEST(RelaxationTest, FlipRulesOfEachBranch) {
  struct Case {
    double previous, latest;
    bool downFlips, upFlips;
  };
  const double tiny = 4.9406564584124654e-324;  // the smallest subnormal
  const Case cases[] = {
      {1.0, 1.0, false, false},
      {-2.0, -0.5, false, false},
      {1.0, -1.0, true, true},
      {-1.0, 1.0, true, true},
      // A zero product keeps the spin on the way down and reverses it on the
      // way up, whatever the zero's sign.
      {0.0, 1.0, false, true},
      {1.0, 0.0, false, true},
      {0.0, 0.0, false, true},
      {-0.0, 1.0, false, true},
      {-1.0, -0.0, false, true},
      // Formed in extended precision the product of two subnormals does
      // not vanish.
      {tiny, -tiny, true, true},
      {-tiny, -tiny, false, false},
  };
  auto s = std::make_unique<LatticeState>();
  for (const Case& c : cases) {
    for (const Branch branch : {kDown, kUp}) {
      SCOPED_TRACE(std::to_string(c.previous) + " " + std::to_string(c.latest) + (branch == kUp ? " up" : " down"));
      s->SpinMap(1, 1) = 1.0;
      s->ExchangeMap(1, 2) = s->ExchangeMap(2, 1) = 5.0;  // outside the block
      s->SpinMap(1, 2) = s->SpinMap(2, 1) = 1.0;
      SpinRelaxation relaxation(*s, 1);
      s->PrevLocalFieldMap(1, 1) = c.previous;
      s->LocalFieldMap(1, 1) = c.latest;
      relaxation.RelaxPass(0.25, branch, nullptr);
      const bool flips = branch == kUp ? c.upFlips : c.downFlips;
      EXPECT_EQ(s->SpinMap(1, 1), flips ? -1.0 : 1.0);
      EXPECT_EQ(relaxation.SpinSum(), flips ? -1 : 1);
      EXPECT_EQ(Bits(s->PrevLocalFieldMap(1, 1)), Bits(c.latest));
      // Side 1 has no neighbour in the block: the local field is the field.
      EXPECT_EQ(s->NeighbourFieldMap(1, 1), 0.0);
      EXPECT_EQ(s->LocalFieldMap(1, 1), 0.25);
    }
  }
}

TEST(RelaxationTest, UnsetSpinsStayZeroWhenReversed) {
  auto s = std::make_unique<LatticeState>();
  SpinRelaxation relaxation(*s, 2);
  relaxation.InitLocalFields(0.0);
  relaxation.RelaxPass(0.0, kUp, nullptr);  // every product is 0: every site reverses
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) EXPECT_EQ(s->SpinMap(i, j), 0.0);
  EXPECT_EQ(relaxation.SpinSum(), 0);
}

TEST(RelaxationTest, SumsThatLeaveTheDoubleRangeOverflow) {
  auto s = std::make_unique<LatticeState>();
  const int n = 3;
  s->SpinMap.FillBlock(n, 1.0);
  s->ExchangeMap.FillBlock(n, 1e308);
  SpinRelaxation relaxation(*s, n);
  EXPECT_EQ(ErrorMessageOf([&] { relaxation.InitLocalFields(0.0); }), "Floating point overflow");
  // Local fields overflow as well.
  s->ExchangeMap.FillBlock(n, 1.0);
  s->QrfMap.FillBlock(n, 1.7e308);
  SpinRelaxation second(*s, n);
  EXPECT_EQ(ErrorMessageOf([&] { second.InitLocalFields(1.7e308); }), "Floating point overflow");
}

// ---------------------------------------------------------------------------
// Whole Runs.

class RunTest : public ::testing::Test {
 protected:
  LatticeState& L() { return *lattice; }
  // Runs with the given texts over the window's defaults.
  std::string Run(Recorder* recorder = nullptr) {
    return ErrorMessageOf([&] { steps = RunHysteresis(port, parameters, *lattice, recorder); });
  }
  void Texts(const char* h0, const char* hmin, const char* stepCount, const char* side = "1") {
    w.texts[Input::H0] = h0;
    w.texts[Input::Hmin] = hmin;
    w.texts[Input::Steps] = stepCount;
    w.texts[Input::Side] = side;
  }

  CanvasWindow w;
  FormPort port = w.Port();
  FieldParameters parameters{w};
  std::unique_ptr<LatticeState> lattice = std::make_unique<LatticeState>();
  SweepSteps steps;
};

TEST_F(RunTest, FieldSchedules) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* steps;
    std::int64_t down, up;
    std::vector<double> downFields, upFields;  // empty: not listed
  };
  const Case cases[] = {
      {"3", "-3", "300", 151, 151, {}, {}},
      {"3", "-3", "30", 17, 17, {}, {}},
      // -4.2 accumulated lies just below the bound -3 - 1.2.
      {"3", "-3", "10", 6, 6, {3, 1.8, 0.6, -0.6, -1.8, -3.0}, {-3.0, -1.8, -0.6, 0.6, 1.8, 3.0}},
      // The bounds are inclusive.
      {"1", "-1", "4", 4, 4, {1, 0, -1, -2}, {-1, 0, 1, 2}},
      {"0", "-2", "2", 3, 3, {0, -2, -4}, {-2, 0, 2}},
      {"3", "1", "4", 3, 3, {3, 1, -1}, {1, 3, 5}},
      {"2", "2", "2", 2, 2, {2, -2}, {2, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin + " " + c.steps);
    Texts(c.h0, c.hmin, c.steps);
    Recorder recorder(L(), 1);
    ASSERT_EQ(Run(&recorder), "");
    EXPECT_EQ(steps.descending, c.down);
    EXPECT_EQ(steps.ascending, c.up);
    const std::vector<double> down = recorder.Fields(kDown), up = recorder.Fields(kUp);
    ASSERT_EQ(static_cast<std::int64_t>(down.size()), c.down);
    ASSERT_EQ(static_cast<std::int64_t>(up.size()), c.up);
    for (std::size_t k = 0; k < c.downFields.size(); ++k) EXPECT_NEAR(down[k], c.downFields[k], 1e-14) << k;
    for (std::size_t k = 0; k < c.upFields.size(); ++k) EXPECT_NEAR(up[k], c.upFields[k], 1e-14) << k;
    // The descending branch starts at H0 and the ascending one at Hmin, both
    // exactly as read.
    EXPECT_EQ(down.front(), std::stod(c.h0));
    EXPECT_EQ(up.front(), std::stod(c.hmin));
  }
}

TEST_F(RunTest, DefaultScheduleEndsOnTheAccumulatedField) {
  Texts("3", "-3", "300");
  Recorder recorder(L(), 1);
  ASSERT_EQ(Run(&recorder), "");
  const std::vector<double> down = recorder.Fields(kDown), up = recorder.Fields(kUp);
  ASSERT_EQ(down.size(), 151u);
  ASSERT_EQ(up.size(), 151u);
  EXPECT_EQ(down.back(), -3.000000000000004);
  EXPECT_EQ(up.front(), -3.0);
  EXPECT_GT(up.back(), 3.0);
  EXPECT_NEAR(up.back(), 3.0, 1e-14);
  EXPECT_LT(up[149], 3.0);
  // After the Run the field stands one step beyond the last.
  EXPECT_NEAR(L().AppliedField, up.back() + 0.04, 1e-15);
  EXPECT_EQ(L().InitialField, 3.0);
}

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
  recorder.onStep = [&](Branch, double H, double M) {
    EXPECT_EQ(M, 0.0);
    for (int i = 1; i <= 20; ++i)
      for (int j = 1; j <= 20; ++j) {
        ASSERT_EQ(L().SpinMap(i, j), 0.0);
        ASSERT_EQ(L().LocalFieldMap(i, j), H);  // every local field is H
      }
  };
  ASSERT_EQ(Run(&recorder), "");
  EXPECT_EQ(recorder.steps.size(), 302u);
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
  const std::map<Quantity, CanvasWindow::ReadoutState> readouts = w.readouts;
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
    EXPECT_EQ(w.log, expected);
    EXPECT_EQ(MapsHash(L(), 300), before);
  }
}

// Faults in the frame's scale stop the Run after the field axis.
TEST_F(RunTest, FrameFaultsStopTheRun) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* error;
  };
  const Case cases[] = {
      {"0", "0", "Invalid floating point operation"},
      {"-0.5", "-3", "Floating point division by zero"},
      {"3", "0.5", "Floating point division by zero"},
      {"1e300", "-3", "Invalid floating point operation"},
  };
  SetUpLattice(w, L(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin);
    const std::uint64_t before = MapsHash(L(), 20);
    w.Forget();
    Texts(c.h0, c.hmin, "300", "20");
    EXPECT_EQ(Run(), c.error);
    ASSERT_EQ(w.lines.size(), 1u);
    EXPECT_EQ(w.lines[0].y0, 487);
    EXPECT_EQ(w.Count("fill"), 0);
    EXPECT_EQ(w.Count("readout:MaskEdit3"), 0);
    EXPECT_EQ(MapsHash(L(), 20), before);
  }
}

TEST_F(RunTest, HugeFieldsFinishFast) {
  SetUpLattice(w, L(), 0);
  Texts("1e12", "-1e12", "300", "20");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run(), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_GE(steps.descending, 151);
  EXPECT_LE(steps.descending, 152);
}

// What happens in which order: the spin panel, the inputs, the frame, the
// blanked crossing read-outs, the bar's range, then the steps.
TEST_F(RunTest, OrderOfARun) {
  SetUpLattice(w, L(), 0);
  w.Forget();
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(w.log.front(), "refresh:Shape4");
  const int lastFrameText = [&] {
    int last = -1;
    for (std::size_t k = 0; k < w.log.size() && w.log[k] != "fill"; ++k)
      if (w.log[k] == "text") last = static_cast<int>(k);
    return last;
  }();
  EXPECT_EQ(w.First("line"), 6);
  EXPECT_LT(lastFrameText, w.First("refresh:MaskEdit3"));
  EXPECT_LT(w.First("readout:MaskEdit5"), w.First("range"));
  EXPECT_LT(w.Last("range"), w.First("fill"));
  EXPECT_EQ(w.progressMin, 0);
  EXPECT_EQ(w.progressMax, 100);
  // One trace pixel, one bar position per step; the read-outs at the end.
  EXPECT_EQ(w.Count("pixel"), 302);
  EXPECT_EQ(w.Count("progress"), 302);
  EXPECT_EQ(w.log.back(), "readout:MaskEdit6");
  EXPECT_EQ(w.Count("refresh:Shape4"), 1);
  EXPECT_EQ(w.Count("refresh:Shape22"), 0);
}

TEST_F(RunTest, ProgressPositions) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* steps;
    std::size_t count;
    std::vector<std::pair<std::size_t, int>> at;  // step index, position asked for
  };
  const Case cases[] = {
      {"3", "-3", "300", 302, {{0, 0}, {150, 50}, {151, 50}, {301, 100}}},
      // The last ascending step asks for 101.
      {"3", "-3", "100", 102, {{0, 1}, {50, 51}, {51, 51}, {101, 101}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps);
    Texts(c.h0, c.hmin, c.steps);
    w.Forget();
    ASSERT_EQ(Run(), "");
    ASSERT_EQ(w.progress.size(), c.count);
    for (const auto& [k, position] : c.at) EXPECT_EQ(w.progress[k], position) << k;
    for (std::size_t k = 1; k < c.count; ++k) EXPECT_GE(w.progress[k], w.progress[k - 1]) << k;
  }
  // Exact halves go to the even neighbour; the ascending branch starts again
  // from Hmin, and positions beyond the range are asked for as computed.
  Texts("1", "-1", "8");
  w.Forget();
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(w.progress, (std::vector<int>{12, 25, 38, 50, 62, 75, 62, 75, 88, 100, 112, 125}));
  // H0 = -abs(Hmin) leaves the formulas no span: the first position divides
  // by zero, after the first step's pass, read-outs and trace point.
  Texts("-1", "-1", "300");
  w.Forget();
  EXPECT_EQ(Run(), "Floating point division by zero");
  EXPECT_EQ(w.Count("pixel"), 1);
  EXPECT_EQ(w.Count("readout:MaskEdit1"), 1);
  EXPECT_TRUE(w.progress.empty());
}

// The spin squares after a Run show the spins of its last step, and the
// trace has one black pixel per step at the mapped field and magnetization.
TEST_F(RunTest, SpinSquaresAndTrace) {
  for (const char* side : {"20", "300"}) {
    SCOPED_TRACE(side);
    CanvasWindow canvas;
    FormPort canvasPort = canvas.Port();
    canvas.texts[Input::Side] = side;
    canvas.texts[Input::Steps] = std::string(side) == "300" ? "2" : "300";
    SetUpLattice(canvas, L(), 7);
    const int n = std::stoi(side);
    canvas.FillRect(317, 343, 606, 632);  // something for the Run to clear
    auto lastSpins = std::make_unique<SiteMap>();
    Recorder recorder(L(), n);
    recorder.onStep = [&](Branch, double, double) { *lastSpins = L().SpinMap; };
    ASSERT_EQ(ErrorMessageOf([&] { RunHysteresis(canvasPort, FieldParameters(canvas), L(), &recorder); }), "");

    const int shown = std::min(n, kShownSide);
    const int right = 4 * shown + 321, bottom = 4 * shown + 346;
    // Covered exactly from (321, 346) to (right, bottom); the rest of the
    // panel is as the refresh left it.
    EXPECT_EQ(canvas.DrawnIn(321, 346, right, bottom), (right - 320) * (bottom - 345));
    EXPECT_EQ(canvas.DrawnIn(317, 343, 605, 631), (right - 320) * (bottom - 345));
    for (int i = 1; i <= shown; ++i)
      for (int j = 1; j <= shown; ++j) {
        const Color want = (*lastSpins)(i, j) == 1.0 ? clBlack : clYellow;
        ASSERT_EQ(canvas.Pixel(4 * i + 319, 4 * j + 344), want) << i << "," << j;
      }

    CanvasWindow frame;
    frame.texts = canvas.texts;
    const LoopScale scale = DrawLoopFrame(frame.Port());
    // Points beyond the loop panel land where later squares may cover them.
    int traced = 0;
    for (const StepRecord& s : recorder.steps) {
      const auto x = PlotX(scale, s.H);
      if (x < 637 || x > 925) continue;
      ++traced;
      ASSERT_EQ(canvas.Pixel(static_cast<int>(x), static_cast<int>(PlotY(s.M))), clBlack) << s.H;
    }
    EXPECT_GE(traced, 3);
  }
}

TEST(RunDisplayTest, SpinSquares) {
  struct Case {
    int i, j;
    double spin;
    int left, top;  // -1: nothing drawn
    Color colour;
  };
  const Case cases[] = {
      {1, 1, 1.0, 321, 346, clBlack},  {1, 2, -1.0, 321, 350, clYellow}, {2, 1, 1.0, 325, 346, clBlack},
      {70, 70, -1.0, 597, 622, clYellow}, {20, 20, 1.0, 397, 422, clBlack},
      // Not shown: beyond 70, or a spin that is neither +1 nor -1.
      {71, 1, 1.0, -1, -1, 0}, {1, 71, -1.0, -1, -1, 0}, {3, 3, 0.0, -1, -1, 0}, {3, 4, -0.0, -1, -1, 0},
  };
  auto s = std::make_unique<LatticeState>();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.i) + "," + std::to_string(c.j));
    CanvasWindow w;
    s->SpinMap(c.i, c.j) = c.spin;
    DrawSpinSquare(w, *s, c.i, c.j);
    if (c.left < 0) {
      EXPECT_EQ(w.Count("fill"), 0);
      continue;
    }
    // 5 x 5 pixels from (left, top).
    EXPECT_EQ(w.DrawnIn(0, 0, kClientWidth - 1, kClientHeight - 1), 25);
    EXPECT_EQ(w.DrawnIn(c.left, c.top, c.left + 4, c.top + 4), 25);
    EXPECT_EQ(w.Pixel(c.left, c.top), c.colour);
  }
}

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
  std::map<Quantity, CanvasWindow::ReadoutState> readouts;
};

ReferenceRunResult ReferenceRun(CanvasWindow& w, LatticeState& s) {
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
    reference.RelaxPass(H, branch);
    spinSum = static_cast<std::int64_t>(reference.SpinTotal());
    measurements.MeasureStep(branch, H);
    result.steps.push_back({branch, H, measurements.Magnetization(), BlockHash(s.SpinMap, n)});
    H = static_cast<double>(branch == kDown ? H - static_cast<long double>(fieldStep) : H + static_cast<long double>(fieldStep));
  };
  while (hmin() - fieldStep <= H && H <= h0() + fieldStep) step(kDown);
  measurements.CountPlusSpins();
  H = static_cast<double>(hmin());
  while (hmin() - fieldStep <= H && H <= h0() + fieldStep) step(kUp);
  measurements.CountMinusSpins();
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
    CanvasWindow w, v;
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
