#include "model/lattice_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "form/field_parameters.h"
#include "form/lattice_side.h"
#include "form/panel_geometry.h"
#include "setup/exchange_enhancement_run.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

using Cell = std::pair<int, int>;

// A value that tells the computed cell (i, j) apart from every other.
double Tag(int i, int j) { return 1000.0 * i + j; }

TEST(EdgeCopyFillTest, ComputesTheInnerBlockAndCopiesTheLastRowAndColumn) {
  struct Case {
    int n;
    std::vector<Cell> computed;
    // For every cell of the block in row-major order, the computed cell it
    // holds.
    std::vector<Cell> source;
  };
  const Case cases[] = {
      {1, {{1, 1}}, {{1, 1}}},
      {2, {{1, 1}}, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}},
      {3,
       {{1, 1}, {1, 2}, {2, 1}, {2, 2}},
       {{1, 1}, {1, 2}, {1, 1}, {2, 1}, {2, 2}, {2, 1}, {1, 1}, {1, 2}, {1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("n = " + std::to_string(c.n));
    auto map = std::make_unique<SiteMap>();
    std::vector<Cell> computed, after;
    EdgeCopyFill(
        c.n, *map,
        [&](int i, int j) {
          computed.emplace_back(i, j);
          return Tag(i, j);
        },
        [&](int i, int j) {
          after.emplace_back(i, j);
          // The hook runs once the cell holds its value.
          const auto [si, sj] = c.source[after.size() - 1];
          EXPECT_EQ((*map)(i, j), Tag(si, sj)) << i << "," << j;
        });
    EXPECT_EQ(computed, c.computed);
    std::vector<Cell> rowMajor;
    for (int i = 1; i <= c.n; ++i)
      for (int j = 1; j <= c.n; ++j) rowMajor.emplace_back(i, j);
    EXPECT_EQ(after, rowMajor);
    for (std::size_t k = 0; k < rowMajor.size(); ++k) {
      const auto [i, j] = rowMajor[k];
      EXPECT_EQ((*map)(i, j), Tag(c.source[k].first, c.source[k].second)) << i << "," << j;
    }
  }
}

TEST(EdgeCopyFillTest, LargerSidesRepeatRowOneAndColumnOneAndTouchNothingElse) {
  for (int n : {4, 7, 300}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    auto map = std::make_unique<SiteMap>();
    map->FillBlock(kMaxSide, -1.0);
    int computedCells = 0;
    EdgeCopyFill(n, *map, [&](int i, int j) {
      ++computedCells;
      EXPECT_LT(i, n);
      EXPECT_LT(j, n);
      return Tag(i, j);
    });
    EXPECT_EQ(computedCells, (n - 1) * (n - 1));
    for (int k = 1; k <= n; ++k) {
      ASSERT_EQ((*map)(n, k), (*map)(1, k)) << k;
      ASSERT_EQ((*map)(k, n), (*map)(k, 1)) << k;
    }
    for (Cell corner : {Cell{1, n}, Cell{n, 1}, Cell{n, n}}) EXPECT_EQ((*map)(corner.first, corner.second), Tag(1, 1));
    if (n < kMaxSide) {
      EXPECT_EQ((*map)(n + 1, 1), -1.0);
      EXPECT_EQ((*map)(1, n + 1), -1.0);
      EXPECT_EQ((*map)(kMaxSide, kMaxSide), -1.0);
    }
  }
}

TEST(SiteSquareTest, PanelsAndTheirShownArea) {
  struct Case {
    PanelOrigin origin;
    int x, y;
  };
  const Case cases[] = {
      {kExchangePanel, 21, 20}, {kRandomFieldPanel, 317, 20}, {kEnergyPanel, 21, 342}, {kSpinPanel, 317, 342}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.origin.x, c.x);
    EXPECT_EQ(c.origin.y, c.y);
    const SiteSquare first = SiteSquareAt(c.x, c.y, 1, 1);
    const SiteSquare last = SiteSquareAt(c.x, c.y, kShownSide, kShownSide);
    // i along x, j along y, 5 x 5 on a pitch of 4, from X+4 to X+284.
    EXPECT_EQ(first.left, c.x + 4);
    EXPECT_EQ(first.top, c.y + 4);
    EXPECT_EQ(last.right - 1, c.x + 284);
    EXPECT_EQ(last.bottom - 1, c.y + 284);
    const SiteSquare across = SiteSquareAt(c.x, c.y, 2, 1);
    EXPECT_EQ(across.left, first.right - 1);  // one shared pixel column
    EXPECT_EQ(across.top, first.top);
  }
  EXPECT_TRUE(IsShown(70, 70));
  EXPECT_FALSE(IsShown(71, 1));
  EXPECT_FALSE(IsShown(1, 71));
}

TEST(LatticeSideTest, SidesOutsideTheLatticeAreRejected) {
  struct Case {
    std::string text;
    int side;             // when it reads
    std::string message;  // when it does not
  };
  const Case cases[] = {
      {"1", 1, ""},
      {"300", 300, ""},
      {" 20", 20, ""},
      {"0", 0, "'0' is not a valid lattice side (1 to 300)"},
      {"-5", 0, "'-5' is not a valid lattice side (1 to 300)"},
      {"301", 0, "'301' is not a valid lattice side (1 to 300)"},
      {" 301", 0, "' 301' is not a valid lattice side (1 to 300)"},
      {"2147483647", 0, "'2147483647' is not a valid lattice side (1 to 300)"},
      {"abc", 0, "'abc' is not a valid integer value"},
      {"3.5", 0, "'3.5' is not a valid integer value"},
      {"", 0, "'' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    FakeWindow window;
    window.texts[Input::Side] = c.text;
    int side = 0;
    const std::string message = RunRig::ErrorOf([&] { side = ReadLatticeSide(window); });
    EXPECT_EQ(message, c.message) << c.text;
    EXPECT_EQ(side, c.side) << c.text;
  }
}

// Every map of the lattice with its name.
std::vector<std::pair<std::string, SiteMap*>> Maps(LatticeState& s) {
  return {{"SpinMap", &s.SpinMap},
          {"ExchangeMap", &s.ExchangeMap},
          {"QrfMap", &s.QrfMap},
          {"FmEnergyMap", &s.FmEnergyMap},
          {"NeighbourFieldMap", &s.NeighbourFieldMap},
          {"PrevLocalFieldMap", &s.PrevLocalFieldMap},
          {"LocalFieldMap", &s.LocalFieldMap}};
}

TEST(LatticeStateTest, SmallerRunLeavesTheRestOfTheLargerBlockAlone) {
  RunRig rig;
  LatticeState& lattice = *rig.lattice;
  // Something in every cell of every map, different per map.
  double base = 0;
  for (auto& [name, map] : Maps(lattice)) {
    base += 0.125;
    for (int i = 1; i <= kMaxSide; ++i)
      for (int j = 1; j <= kMaxSide; ++j) (*map)(i, j) = base + Tag(i, j);
  }
  const FixedClock clock(TimeOfDayMs(1, 2, 3, 4));
  rig.window.texts[Input::Dilution] = "0.3";
  rig.window.texts[Input::Side] = "20";
  RunExchangeEnhancement(rig.window.Port(), FieldParameters(rig.window), lattice, rig.random, clock);
  // What a hysteresis run would leave in its maps.
  for (SiteMap* map :
       {&lattice.NeighbourFieldMap, &lattice.PrevLocalFieldMap, &lattice.LocalFieldMap, &lattice.SpinMap})
    for (int i = 1; i <= 20; ++i)
      for (int j = 1; j <= 20; ++j) (*map)(i, j) = -Tag(i, j);
  const auto before = std::make_unique<LatticeState>(lattice);

  rig.window.texts[Input::Side] = "10";
  RunExchangeEnhancement(rig.window.Port(), FieldParameters(rig.window), lattice, rig.random, clock);

  auto beforeMaps = Maps(*before);
  auto afterMaps = Maps(lattice);
  for (std::size_t m = 0; m < afterMaps.size(); ++m) {
    SCOPED_TRACE(afterMaps[m].first);
    const SiteMap& was = *beforeMaps[m].second;
    const SiteMap& now = *afterMaps[m].second;
    int changed = 0;
    for (int i = 1; i <= kMaxSide; ++i)
      for (int j = 1; j <= kMaxSide; ++j)
        if ((i > 10 || j > 10) && now(i, j) != was(i, j) && changed++ < 3) ADD_FAILURE() << i << "," << j;
    EXPECT_EQ(changed, 0);
  }
  // Inside the new block the run started afresh, except for the fields.
  for (int i = 1; i <= 10; ++i)
    for (int j = 1; j <= 10; ++j) {
      ASSERT_EQ(lattice.SpinMap(i, j), 1.0);
      ASSERT_EQ(lattice.NeighbourFieldMap(i, j), 0.0);
      ASSERT_EQ(lattice.LocalFieldMap(i, j), 0.0);
      ASSERT_EQ(lattice.PrevLocalFieldMap(i, j), 0.0);
      ASSERT_EQ(lattice.QrfMap(i, j), before->QrfMap(i, j));
    }
  EXPECT_EQ(lattice.LatticeSize, 10);
}

}  // namespace
