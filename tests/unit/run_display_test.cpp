// What the Run shows while it goes: the order of its drawing, the progress
// bar, the spin squares and the trace, and the squares left when a pass
// raises.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "form/loop_plot.h"
#include "form/panel_geometry.h"
#include "form/run_display.h"
#include "tests/one_site_relaxation.h"
#include "tests/unit/run_fixture.h"

using namespace ebsim;

namespace {

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

// What happens in which order: the spin panel, the inputs, the frame, the
// blanked crossing read-outs, the bar's range, then the steps.
TEST_F(RunTest, OrderOfARun) {
  SetUpLattice(w, L(), 0);
  w.Forget();
  ASSERT_EQ(Run(), "");
  EXPECT_EQ(w.Words().front(), "refresh:Shape4");
  const std::vector<std::string> words = w.Words();
  const int lastFrameText = [&] {
    int last = -1;
    for (std::size_t k = 0; k < words.size() && words[k] != "fill"; ++k)
      if (words[k] == "text") last = static_cast<int>(k);
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
  EXPECT_EQ(w.Words().back(), "readout:MaskEdit6");
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

// The spin squares after a Run show the spins of its last step, and the
// trace has one black pixel per step at the mapped field and magnetization.
TEST_F(RunTest, SpinSquaresAndTrace) {
  for (const char* side : {"20", "300"}) {
    SCOPED_TRACE(side);
    FakeWindow canvas;
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

    FakeWindow frame;
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
    FakeWindow w;
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

// A pass that raises at site s leaves the squares of the sites before s
// drawn with their spins as they now stand and the others as the pass
// before drew them, as a Run that draws each square at its visit leaves
// them; the maps keep the spins as they stand.
TEST_F(RunTest, APassThatRaisesShowsTheSitesVisitedBeforeIt) {
  // Side 6: (3, 2) and (3, 4), of opposite spins, carry 1e308, so that the
  // sum of (3, 3) between them leaves the double range when (3, 2)
  // reverses, in the fourth pass; no other site reverses.
  const int n = 6;
  Texts("3", "-3", "10", "6");
  L().SpinMap.FillBlock(n, 1.0);
  L().ExchangeMap.FillBlock(n, 1.0);
  L().QrfMap.FillBlock(n, 20.0);
  L().SpinMap(3, 4) = -1.0;
  L().ExchangeMap(3, 2) = L().ExchangeMap(3, 4) = 1e308;
  L().QrfMap(3, 2) = -5.5;
  std::vector<double> J, q, S;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      J.push_back(L().ExchangeMap(i, j));
      q.push_back(L().QrfMap(i, j));
      S.push_back(L().SpinMap(i, j));
    }
  OneSiteRelaxation oneSite(n, J, q, S);

  Recorder recorder(L(), n);
  recorder.onStep = [&](Branch, double, double) { w.Forget(); };  // the log then holds the failing pass
  EXPECT_EQ(Run(&recorder), "Floating point overflow");
  ASSERT_EQ(recorder.steps.size(), 3u);
  oneSite.InitLocalFields(3.0);
  for (const StepRecord& s : recorder.steps) oneSite.Relax(s.H, kDown);
  EXPECT_EQ(ErrorMessageOf([&] { oneSite.Relax(L().AppliedField, kDown); }), "Floating point overflow");
  ASSERT_EQ(oneSite.SitesDone(), 13u);  // at (3, 2)

  std::map<std::pair<int, int>, Color> drawn;
  for (std::size_t s = 0; s < oneSite.SitesDone(); ++s) {
    const int i = static_cast<int>(s) / n + 1, j = static_cast<int>(s) % n + 1;
    drawn[{i, j}] = oneSite.Spin(i, j) == 1.0 ? clBlack : clYellow;
  }
  EXPECT_EQ(w.Squares(kSpinPanel), drawn);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      EXPECT_EQ(L().SpinMap(i, j), oneSite.Spin(i, j)) << i << "," << j;
      const SiteSquare square = SiteSquareAt(kSpinPanel.x, kSpinPanel.y, i, j);
      const bool reversedUnshown = i == 3 && j == 2;
      const Color shown = (L().SpinMap(i, j) == 1.0) != reversedUnshown ? clBlack : clYellow;
      EXPECT_EQ(w.Pixel(square.left + 2, square.top + 2), shown) << i << "," << j;
    }
  EXPECT_EQ(L().SpinMap(3, 2), -1.0);
}

}  // namespace
