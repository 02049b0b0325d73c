// The two set-up runs without a window: "Run LEE Constants" and "Run QRF
// Fields" against a fake window that logs every read, write and fill.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/float_checks.h"
#include "form/field_parameters.h"
#include "form/panel_geometry.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

using Cell = std::pair<int, int>;
using Kind = FakeWindow::Kind;

// Side 5 seeded at 2 ms past midnight: of the 16 draws only the one of
// cell (2, 3) lies below 0.04.
constexpr std::uint32_t kOneInteriorHit = 2;

std::uint32_t StateAfter(std::uint32_t state, int steps) {
  RandomNumbers r;
  r.RandomSeed = state;
  for (int k = 0; k < steps; ++k) r.UniformRandom();
  return r.RandomSeed;
}

class ExchangeRunTest : public ::testing::Test {
 protected:
  // Runs "Run LEE Constants" with the clock at `ms`; the error's message,
  // or "".
  std::string Run(std::uint32_t ms, const std::string& side, const std::string& dilution,
                  const std::string& constant = "10") {
    rig.window.texts[Input::Side] = side;
    rig.window.texts[Input::Dilution] = dilution;
    rig.window.texts[Input::Enhancement] = constant;
    rig.window.log.clear();
    return RunRig::ErrorOf(
        [&] { RunExchangeEnhancement(rig.window.Port(), FieldParameters(rig.window), *rig.lattice, rig.random, FixedClock(ms)); });
  }
  LatticeState& L() { return *rig.lattice; }

  // Every map cell of the whole lattice set to v.
  void Scribble(double v) {
    for (SiteMap* map : {&L().SpinMap, &L().ExchangeMap, &L().QrfMap, &L().FmEnergyMap, &L().NeighbourFieldMap,
                         &L().PrevLocalFieldMap, &L().LocalFieldMap})
      map->FillBlock(kMaxSide, v);
  }

  RunRig rig;
};

TEST_F(ExchangeRunTest, WorkedExample) {
  ASSERT_EQ(Run(0, "3", "0.04"), "");
  EXPECT_EQ(L().LatticeSize, 3);
  EXPECT_EQ(L().EnhancedSiteCount, 6);
  const double exchange[3][3] = {{10, 10, 10}, {1, 1, 1}, {10, 10, 10}};
  const double energy[3][3] = {{11, 21, 11}, {21, 22, 21}, {11, 21, 11}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      EXPECT_EQ(L().ExchangeMap(i, j), exchange[i - 1][j - 1]) << i << "," << j;
      EXPECT_EQ(L().FmEnergyMap(i, j), energy[i - 1][j - 1]) << i << "," << j;
      EXPECT_EQ(L().SpinMap(i, j), 1.0);
    }
  EXPECT_EQ(rig.random.RandomSeed, 870078620u);  // four draws from seed 0

  // Order of everything the run did: side, panels wiped, dilution, the
  // exchange squares (the constant read per enhanced cell), the ratio,
  // then the energy squares.
  const std::string enhanced = "white read:Edit3 red", ordinary = "white";
  std::string expected = "read:Edit5 refresh:Shape1 refresh:Shape3 read:Edit1";
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      expected += " " + (i == 2 ? ordinary : enhanced) + " X(" + std::to_string(i) + "," + std::to_string(j) + ")";
  expected += " readout:MaskEdit10 value text:0.666";
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) expected += " black E(" + std::to_string(i) + "," + std::to_string(j) + ")";
  EXPECT_EQ(rig.window.Trace(), expected);

  for (const auto& e : rig.window.log)
    if (e.kind == Kind::ReadoutValue) {
      EXPECT_EQ(e.readout, Quantity::SurfaceRatio);
      EXPECT_EQ(e.value, 6.0L / 9.0L);
    }
}

TEST_F(ExchangeRunTest, DilutionAtOrBeyondItsEnds) {
  struct Case {
    std::string dilution;
    bool all;
  };
  const Case cases[] = {{"-0.5", false}, {"0", false}, {"1", true}, {"1.5", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dilution);
    // Nothing enhanced: the constant is never read, so its text is harmless.
    ASSERT_EQ(Run(123456, "5", c.dilution, c.all ? "10" : "abc"), "");
    EXPECT_EQ(L().EnhancedSiteCount, c.all ? 25 : 0);
    EXPECT_EQ(rig.window.Reads(Input::Enhancement), c.all ? 25 : 0);
    const auto squares = rig.window.Squares(kExchangePanel);
    EXPECT_EQ(squares.size(), 25u);
    for (const auto& [cell, colour] : squares) EXPECT_EQ(colour, c.all ? clRed : clWhite);
    for (int i = 1; i <= 5; ++i)
      for (int j = 1; j <= 5; ++j) EXPECT_EQ(L().ExchangeMap(i, j), c.all ? 10.0 : 1.0);
    for (const auto& e : rig.window.log) {
      if (e.kind == Kind::ReadoutValue) {
        EXPECT_EQ(e.value, c.all ? 1.0L : 0.0L);
      }
      if (e.kind == Kind::ReadoutText) {
        EXPECT_EQ(e.text, c.all ? "1    " : "0    ");
      }
    }
  }
}

TEST_F(ExchangeRunTest, DrawEqualToTheDilutionIsNotEnhanced) {
  struct Case {
    std::string dilution;
    bool first, second;  // cells (1, 1) and (1, 2) enhanced
  };
  const Case cases[] = {
      {"2.3283064365386963e-10", false, false},  // exactly the first draw
      {"0.031379939522594213", true, false},     // exactly the second draw
      {"0.0313799395225943", true, true},        // just above it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dilution);
    ASSERT_EQ(Run(0, "3", c.dilution), "");
    EXPECT_EQ(L().ExchangeMap(1, 1), c.first ? 10.0 : 1.0);
    EXPECT_EQ(L().ExchangeMap(1, 2), c.second ? 10.0 : 1.0);
    EXPECT_EQ(L().EnhancedSiteCount, (c.first ? 4 : 0) + (c.second ? 2 : 0));
  }
}

TEST_F(ExchangeRunTest, EnergyOfOneEnhancedInteriorSiteForSeveralConstants) {
  // Only (2, 3) is enhanced; K is its constant. The map holds the sum of the
  // neighbours' constants: 2 at a corner, 3 on the first row or column, 4
  // inside, K more next to (2, 3).
  struct Case {
    std::string text;
    double k;
  };
  const Case cases[] = {{"10", 10}, {"2", 2}, {"0.5", 0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(Run(kOneInteriorHit, "5", "0.04", c.text), "");
    const double K = c.k;
    const double energy[5][5] = {
        {2, 3, K + 2, 3, 2}, {3, K + 3, 4, K + 3, 3}, {3, 4, K + 3, 4, 3}, {3, 4, 4, 4, 3}, {2, 3, K + 2, 3, 2},
    };
    const auto exchangeSquares = rig.window.Squares(kExchangePanel);
    const auto energySquares = rig.window.Squares(kEnergyPanel);
    for (int i = 1; i <= 5; ++i)
      for (int j = 1; j <= 5; ++j) {
        const bool hit = i == 2 && j == 3;
        EXPECT_EQ(L().ExchangeMap(i, j), hit ? K : 1.0) << i << "," << j;
        EXPECT_EQ(exchangeSquares.at({i, j}), hit ? clRed : clWhite) << i << "," << j;
        const double e = energy[i - 1][j - 1];
        EXPECT_EQ(L().FmEnergyMap(i, j), e) << i << "," << j;
        EXPECT_EQ(energySquares.at({i, j}), e > 4 ? clBlack : clYellow) << i << "," << j;
      }
    EXPECT_EQ(L().EnhancedSiteCount, 1);
  }
  // With K = 10 the interior neighbours are black (13), the row-1 neighbour
  // too (12), the enhanced cell itself yellow (4); with K = 2 the row-1
  // neighbour drops to 4 and turns yellow while the interior ones stay
  // black at 5; with K = 0.5 nothing exceeds 4.
}

TEST_F(ExchangeRunTest, SideOneIgnoresGarbageBesideIt) {
  Scribble(0);
  L().ExchangeMap(1, 2) = 7;
  L().SpinMap(1, 2) = 1;
  L().ExchangeMap(2, 1) = 5;
  L().SpinMap(2, 1) = -1;
  ASSERT_EQ(Run(0, "1", "0.04"), "");
  EXPECT_EQ(L().ExchangeMap(1, 1), 10.0);  // 2.3e-10 < 0.04
  EXPECT_EQ(L().EnhancedSiteCount, 1);
  EXPECT_EQ(L().FmEnergyMap(1, 1), 0.0);
  EXPECT_FALSE(std::signbit(L().FmEnergyMap(1, 1)));
  EXPECT_EQ(rig.random.RandomSeed, 1u);  // one draw
  EXPECT_EQ(rig.window.Squares(kEnergyPanel), (std::map<Cell, Color>{{{1, 1}, clYellow}}));
  EXPECT_EQ(rig.window.Squares(kExchangePanel), (std::map<Cell, Color>{{{1, 1}, clRed}}));
  // Beyond the block nothing changed.
  EXPECT_EQ(L().ExchangeMap(1, 2), 7.0);
  EXPECT_EQ(L().SpinMap(2, 1), -1.0);
}

TEST_F(ExchangeRunTest, SideTwoDecidesAllCellsWithOneDraw) {
  struct Case {
    std::string dilution;
    int count;
  };
  for (const Case& c : {Case{"0.04", 4}, Case{"1E-10", 0}}) {
    ASSERT_EQ(Run(0, "2", c.dilution), "");
    EXPECT_EQ(L().EnhancedSiteCount, c.count) << c.dilution;
    EXPECT_EQ(rig.random.RandomSeed, 1u);
  }
}

TEST_F(ExchangeRunTest, RatioCountsTheCopiedCorners) {
  ASSERT_EQ(Run(0, "3", "0.01"), "");  // only the first draw, 2.3e-10, is below
  EXPECT_EQ(L().EnhancedSiteCount, 4);
  for (Cell corner : {Cell{1, 1}, Cell{1, 3}, Cell{3, 1}, Cell{3, 3}})
    EXPECT_EQ(L().ExchangeMap(corner.first, corner.second), 10.0);
  EXPECT_EQ(L().ExchangeMap(2, 2), 1.0);
  for (const auto& e : rig.window.log) {
    if (e.kind == Kind::ReadoutValue) {
      EXPECT_EQ(e.value, 4.0L / 9.0L);
    }
    if (e.kind == Kind::ReadoutText) {
      EXPECT_EQ(e.text, "0.444");
    }
  }
}

TEST_F(ExchangeRunTest, BadSideStopsRightAfterItsRead) {
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {"0", "'0' is not a valid lattice side (1 to 300)"},
      {"-5", "'-5' is not a valid lattice side (1 to 300)"},
      {"301", "'301' is not a valid lattice side (1 to 300)"},
      {"abc", "'abc' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(Run(0, "4", "0.5"), "");
    ASSERT_GT(L().EnhancedSiteCount, 0);
    const auto before = std::make_unique<LatticeState>(L());
    const std::uint32_t seed = rig.random.RandomSeed;
    EXPECT_EQ(Run(999, c.text, "0.5"), c.message);
    EXPECT_EQ(L().LatticeSize, 0);
    EXPECT_EQ(L().EnhancedSiteCount, 0);
    EXPECT_EQ(rig.window.Trace(), "read:Edit5");
    EXPECT_EQ(rig.random.RandomSeed, seed);
    EXPECT_EQ(L().SpinMap(1, 1), before->SpinMap(1, 1));
    EXPECT_EQ(L().ExchangeMap(1, 1), before->ExchangeMap(1, 1));
    EXPECT_EQ(L().FmEnergyMap(2, 2), before->FmEnergyMap(2, 2));
  }
}

TEST_F(ExchangeRunTest, BadDilutionLeavesAClearedBlockAndADrawnGenerator) {
  Scribble(7);
  EXPECT_EQ(Run(5000, "4", "abc"), "'abc' is not a valid floating point value");
  EXPECT_EQ(rig.window.Trace(), "read:Edit5 refresh:Shape1 refresh:Shape3 read:Edit1");
  EXPECT_EQ(rig.random.RandomSeed, StateAfter(5000, 9));
  EXPECT_EQ(L().LatticeSize, 4);
  EXPECT_EQ(L().EnhancedSiteCount, 0);
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j) {
      const bool inside = i <= 4 && j <= 4;
      SCOPED_TRACE(std::to_string(i) + "," + std::to_string(j));
      EXPECT_EQ(L().SpinMap(i, j), inside ? 1.0 : 7.0);
      for (const SiteMap* map : {&L().ExchangeMap, &L().FmEnergyMap, &L().NeighbourFieldMap, &L().PrevLocalFieldMap,
                                 &L().LocalFieldMap})
        EXPECT_EQ((*map)(i, j), inside ? 0.0 : 7.0);
      EXPECT_EQ(L().QrfMap(i, j), 7.0);
    }
}

TEST_F(ExchangeRunTest, BadConstantEndsTheRunAtTheFirstEnhancedCell) {
  struct Case {
    std::string constant, message;
  };
  const Case cases[] = {
      {"x", "'x' is not a valid floating point value"},
      {"1E400", "Floating point overflow"},  // reads as an extended, does not fit a double
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.constant);
    EXPECT_EQ(Run(kOneInteriorHit, "5", "0.04", c.constant), c.message);
    EXPECT_EQ(rig.window.Reads(Input::Enhancement), 1);
    // (2, 3) is the first enhanced cell in row-major order.
    std::map<Cell, Color> before;
    for (int i = 1; i <= 5; ++i)
      for (int j = 1; j <= 5; ++j) {
        const bool done = i == 1 || (i == 2 && j < 3);
        if (done) before[{i, j}] = clWhite;
        EXPECT_EQ(L().ExchangeMap(i, j), done ? 1.0 : 0.0) << i << "," << j;
      }
    EXPECT_EQ(rig.window.Squares(kExchangePanel), before);
    EXPECT_TRUE(rig.window.Squares(kEnergyPanel).empty());
    EXPECT_EQ(rig.window.Count(Kind::ReadoutText), 0);
    EXPECT_EQ(L().EnhancedSiteCount, 0);
  }
}

TEST_F(ExchangeRunTest, EnergyTooLargeForADoubleOverflows) {
  // Worked example with K = 1E308: (1, 1) gets 1E308 + 1, (1, 2) two
  // enhanced neighbours, 2E308, which no double holds.
  EXPECT_EQ(Run(0, "3", "0.04", "1E308"), "Floating point overflow");
  EXPECT_EQ(L().FmEnergyMap(1, 1), 1e308);
  EXPECT_EQ(L().FmEnergyMap(1, 2), 0.0);
  EXPECT_EQ(rig.window.Squares(kEnergyPanel), (std::map<Cell, Color>{{{1, 1}, clBlack}}));
  EXPECT_EQ(rig.window.Count(Kind::ReadoutText), 1);
}

TEST_F(ExchangeRunTest, SideAboveSeventyIsComputedInFullAndShownInPart) {
  ASSERT_EQ(Run(777, "80", "0.3"), "");
  EXPECT_EQ(L().FmEnergyMap(80, 80), L().FmEnergyMap(1, 1));
  EXPECT_NE(L().FmEnergyMap(75, 75), 0.0);
  int exchangeBrushes = 0, energyBrushes = 0;
  bool energyPass = false;
  for (const auto& e : rig.window.log) {
    if (e.kind == Kind::ReadoutText) energyPass = true;
    if (e.kind == Kind::Brush) ++(energyPass ? energyBrushes : exchangeBrushes);
  }
  // The exchange pass sets the brush for every cell, drawn or not; the
  // energy pass only for the cells it draws.
  EXPECT_EQ(exchangeBrushes, 80 * 80 + L().EnhancedSiteCount);
  EXPECT_EQ(energyBrushes, 70 * 70);
  EXPECT_EQ(rig.window.Squares(kExchangePanel).size(), 4900u);
  EXPECT_EQ(rig.window.Squares(kEnergyPanel).size(), 4900u);
  EXPECT_EQ(rig.window.Count(Kind::Fill), 2 * 4900);
  EXPECT_EQ(rig.window.StrayFills(), 0);
}

// ---------------------------------------------------------------------------
// Random-field run

class RandomFieldRunTest : public ExchangeRunTest {
 protected:
  std::string RunFields(const std::string& sd) {
    rig.window.texts[Input::FieldSd] = sd;
    rig.window.log.clear();
    return RunRig::ErrorOf([&] { RunRandomField(rig.window.Port(), FieldParameters(rig.window), *rig.lattice, rig.random); });
  }
};

TEST_F(RandomFieldRunTest, WorkedExample) {
  ASSERT_EQ(Run(0, "3", "0.04"), "");
  ASSERT_EQ(RunFields("2"), "");
  const double computed[2][2] = {{-2.39492, -0.972248}, {-3.81686, -1.68142}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      const int si = i == 3 ? 1 : i, sj = j == 3 ? 1 : j;
      EXPECT_NEAR(L().QrfMap(i, j), computed[si - 1][sj - 1], 1e-5) << i << "," << j;
      EXPECT_EQ(L().QrfMap(i, j), L().QrfMap(si, sj)) << i << "," << j;
    }
  EXPECT_EQ(rig.random.RandomSeed, StateAfter(870078620u, 8));  // first pair taken each time
  EXPECT_EQ(L().QrfStandardDeviation, 2.0);
  // Panel wiped, the SD read per drawn cell, then per cell of the display.
  std::string expected = "refresh:Shape2 read:Edit2 read:Edit2 read:Edit2 read:Edit2";
  const char* colours[3][3] = {{"lime", "green", "lime"}, {"lime", "green", "lime"}, {"lime", "green", "lime"}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      expected += std::string(" read:Edit2 ") + colours[i - 1][j - 1] + " Q(" + std::to_string(i) + "," +
                  std::to_string(j) + ")";
  EXPECT_EQ(rig.window.Trace(), expected);
}

TEST_F(RandomFieldRunTest, ZeroDeviationDrawsNothing) {
  ASSERT_EQ(Run(31, "5", "0.04"), "");
  ASSERT_EQ(RunFields("0"), "");
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j) {
      EXPECT_EQ(L().QrfMap(i, j), 0.0);
      EXPECT_FALSE(std::signbit(L().QrfMap(i, j)));
    }
  EXPECT_EQ(rig.window.Count(Kind::Fill), 0);
  EXPECT_EQ(rig.window.Count(Kind::Brush), 0);
  EXPECT_EQ(rig.window.Count(Kind::RefreshPanel), 1);
}

TEST_F(RandomFieldRunTest, NegativeDeviationMirrorsTheFieldsAndPaintsOnlyTheOuterClasses) {
  ASSERT_EQ(Run(4242, "100", "0.04"), "");
  const std::uint32_t seed = rig.random.RandomSeed;
  ASSERT_EQ(RunFields("2"), "");
  const auto positive = std::make_unique<SiteMap>(L().QrfMap);
  rig.random.RandomSeed = seed;
  ASSERT_EQ(RunFields("-2"), "");
  int purple = 0;
  for (int i = 1; i <= 100; ++i)
    for (int j = 1; j <= 100; ++j) ASSERT_EQ(L().QrfMap(i, j), -(*positive)(i, j)) << i << "," << j;
  // Cells beyond 70 are computed but get no square.
  const auto squares = rig.window.Squares(kRandomFieldPanel);
  EXPECT_EQ(squares.size(), 4900u);
  EXPECT_EQ(rig.window.Count(Kind::Fill), 4900);
  EXPECT_EQ(rig.window.StrayFills(), 0);
  for (const auto& [cell, colour] : squares) {
    // Below 3|SD| class 1 (red) holds; at or above it class 8 (purple).
    EXPECT_EQ(colour, L().QrfMap(cell.first, cell.second) >= 6 ? clPurple : clRed);
    purple += colour == clPurple ? 1 : 0;
  }
  EXPECT_GT(purple, 0);
}

TEST(RandomFieldClassTest, BoundsBelongToNoClass) {
  struct Case {
    double q, sd;
    std::optional<Color> colour;
  };
  const double negativeZero = -0.0;
  const Case cases[] = {
      // On a bound.
      {-6, 2, std::nullopt}, {-4, 2, std::nullopt}, {-2, 2, std::nullopt}, {0, 2, std::nullopt},
      {negativeZero, 2, std::nullopt}, {2, 2, std::nullopt}, {4, 2, std::nullopt}, {6, 2, std::nullopt},
      // Just inside each class.
      {std::nextafter(-6.0, -10.0), 2, clRed}, {std::nextafter(-6.0, 0.0), 2, clYellow},
      {std::nextafter(-4.0, -10.0), 2, clYellow}, {std::nextafter(-4.0, 0.0), 2, clLime},
      {std::nextafter(-2.0, -10.0), 2, clLime}, {std::nextafter(-2.0, 0.0), 2, clGreen},
      {-1e-300, 2, clGreen}, {1e-300, 2, clAqua},
      {std::nextafter(2.0, 0.0), 2, clAqua}, {std::nextafter(2.0, 10.0), 2, clBlue},
      {std::nextafter(4.0, 0.0), 2, clBlue}, {std::nextafter(4.0, 10.0), 2, clFuchsia},
      {std::nextafter(6.0, 0.0), 2, clFuchsia}, {std::nextafter(6.0, 10.0), 2, clPurple},
      // The bounds are formed in extended precision: 3 x 0.1 lies between
      // the doubles 0.3 and 0.30000000000000004.
      {0.30000000000000004, 0.1, clPurple}, {0.3, 0.1, clFuchsia},
      {-0.30000000000000004, 0.1, clRed}, {-0.3, 0.1, clYellow},
      // A negative SD turns the bounds round: below 3|SD| is class 1.
      {-7, -2, clRed}, {0, -2, clRed}, {5.9, -2, clRed}, {6, -2, clPurple}, {7, -2, clPurple},
      // SD 0: every bound is 0.
      {0, 0, std::nullopt}, {-1, 0, clRed}, {1, 0, clPurple},
  };
  for (const Case& c : cases) {
    const std::optional<Color> colour = RandomFieldClass(c.q, c.sd);
    EXPECT_EQ(colour, c.colour) << "q " << c.q << " sd " << c.sd << " gave "
                                << (colour ? FakeWindow::ColorName(*colour) : "none");
  }
}

TEST_F(RandomFieldRunTest, SmallSidesDrawOneField) {
  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    L().LatticeSize = n;
    rig.random.RandomSeed = 870078620u;  // next field about -2.39492: lime
    ASSERT_EQ(RunFields("2"), "");
    EXPECT_EQ(rig.random.RandomSeed, StateAfter(870078620u, 2));
    EXPECT_EQ(rig.window.Reads(Input::FieldSd), 1 + n * n);
    std::map<Cell, Color> expected;
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        expected[{i, j}] = clLime;
        EXPECT_EQ(L().QrfMap(i, j), L().QrfMap(1, 1));
      }
    EXPECT_EQ(rig.window.Squares(kRandomFieldPanel), expected);
  }
}

TEST_F(RandomFieldRunTest, BeforeAnyExchangeRunOnlyThePanelIsWiped) {
  rig.window.texts[Input::Side] = "7";
  L().QrfMap(1, 1) = 3;
  EXPECT_EQ(RunFields("abc"), "");
  EXPECT_EQ(rig.window.Trace(), "refresh:Shape2");
  EXPECT_EQ(L().QrfMap(1, 1), 3.0);
  EXPECT_EQ(rig.random.RandomSeed, 0u);
}

TEST_F(RandomFieldRunTest, AfterAFailedSideReadOnlyThePanelIsWiped) {
  ASSERT_EQ(Run(0, "301", "0.04"), "'301' is not a valid lattice side (1 to 300)");
  EXPECT_EQ(RunFields("2"), "");
  EXPECT_EQ(rig.window.Trace(), "refresh:Shape2");
}

TEST_F(RandomFieldRunTest, BadDeviationLeavesZeroFieldsAndTheOldDeviation) {
  ASSERT_EQ(Run(0, "4", "0.04"), "");
  L().QrfMap.FillBlock(kMaxSide, 9);
  L().QrfStandardDeviation = 1.25;
  const std::uint32_t seed = rig.random.RandomSeed;
  EXPECT_EQ(RunFields("abc"), "'abc' is not a valid floating point value");
  EXPECT_EQ(rig.window.Trace(), "refresh:Shape2 read:Edit2");
  EXPECT_EQ(L().QrfStandardDeviation, 1.25);
  EXPECT_EQ(rig.random.RandomSeed, seed);
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j) EXPECT_EQ(L().QrfMap(i, j), i <= 4 && j <= 4 ? 0.0 : 9.0) << i << "," << j;
}

TEST_F(RandomFieldRunTest, AFieldTooLargeForADoubleEndsTheRunAfterTheCellsBeforeIt) {
  // The first draw that leaves the double range falls inside a row after
  // the first, past its first column, so that copies stand before it.
  constexpr int n = 6;
  std::vector<double> drawn;
  std::uint32_t seedAtThrow = 0;
  for (std::uint32_t ms = 0; drawn.size() < n || drawn.size() % (n - 1) == 0 || drawn.size() >= 20; ++ms) {
    ASSERT_EQ(Run(ms, std::to_string(n), "0.04"), "");
    RandomNumbers inTurn;
    inTurn.RandomSeed = rig.random.RandomSeed;
    drawn.clear();
    try {
      for (;;) drawn.push_back(StoreDouble(inTurn.GaussianRandom(0.0L, 1e308L)));
    } catch (const Exception&) {
      seedAtThrow = inTurn.RandomSeed;
    }
  }
  L().QrfMap.FillBlock(kMaxSide, 9);
  EXPECT_EQ(RunFields("1E308"), "Floating point overflow");
  EXPECT_EQ(rig.window.Reads(Input::FieldSd), static_cast<int>(drawn.size()) + 1);
  EXPECT_EQ(rig.random.RandomSeed, seedAtThrow);
  EXPECT_EQ(rig.window.Count(Kind::Fill), 0);
  const std::size_t failed = drawn.size();
  for (int i = 1; i <= n + 1; ++i)
    for (int j = 1; j <= n + 1; ++j) {
      // Row n would copy row 1 once every draw was made; column n copies
      // column 1 once its row's draws are.
      const std::size_t rowStart = static_cast<std::size_t>(i - 1) * (n - 1);
      double expected = 0.0;
      if (i > n || j > n)
        expected = 9.0;
      else if (i < n && j < n && rowStart + j - 1 < failed)
        expected = drawn[rowStart + j - 1];
      else if (i < n && j == n && rowStart + n - 1 <= failed)
        expected = drawn[rowStart];
      EXPECT_EQ(L().QrfMap(i, j), expected) << i << "," << j;
    }
}

TEST_F(RandomFieldRunTest, DefaultDeviationFillsTheClassesLikeANormalDistribution) {
  ASSERT_EQ(Run(TimeOfDayMs(8, 0, 0, 0), "300", "0.04"), "");
  ASSERT_EQ(RunFields("2"), "");
  std::map<Color, int> counts;
  for (int i = 1; i < 300; ++i)
    for (int j = 1; j < 300; ++j) ++counts[*RandomFieldClass(L().QrfMap(i, j), 2)];
  const double cells = 299.0 * 299.0;
  EXPECT_NEAR((counts[clGreen] + counts[clAqua]) / cells, 0.6827, 0.006);
  EXPECT_NEAR((counts[clRed] + counts[clPurple]) / cells, 0.0027, 0.0007);
  EXPECT_NEAR(counts[clGreen] / cells, counts[clAqua] / cells, 0.008);
  EXPECT_NEAR(counts[clLime] / cells, counts[clBlue] / cells, 0.008);
  // A second run continues the sequence: a different map.
  const double first = L().QrfMap(1, 1);
  ASSERT_EQ(RunFields("2"), "");
  EXPECT_NE(L().QrfMap(1, 1), first);
}

}  // namespace
