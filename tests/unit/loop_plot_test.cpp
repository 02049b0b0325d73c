// The loop panel's frame and the plot mapping, on a recording canvas.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/frame_pixels.h"
#include "form/loop_plot.h"
#include "form/run_display.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

using Pixels = PixelSet;

// Every pixel drawn inside the loop panel (x 637..925, y 343..631).
Pixels DrawnInLoopPanel(const FakeWindow& w) {
  Pixels drawn;
  for (int y = 343; y <= 631; ++y)
    for (int x = 637; x <= 925; ++x)
      if (w.Pixel(x, y) != FakeWindow::kBare) drawn.insert({x, y});
  return drawn;
}

// The frame split by the order of its drawing: the field ticks before the
// first label are the positive ones, those between "H" and "-1" the
// negative ones.
struct DrawnFrame {
  std::vector<int> positive, negative;
};
DrawnFrame TicksOf(const FakeWindow& w) {
  DrawnFrame frame;
  std::size_t line = 0;
  int textsSeen = 0;
  for (const std::string& word : w.Words()) {
    if (word == "text") ++textsSeen;
    if (word != "line") continue;
    const FakeWindow::Line& l = w.lines[line++];
    const bool tick = l.x0 == l.x1 && l.y0 == 485 && l.y1 == 491;
    if (tick && textsSeen == 0) frame.positive.push_back(l.x0);
    if (tick && textsSeen == 2) frame.negative.push_back(l.x0);
  }
  return frame;
}

std::set<int> Distinct(const std::vector<int>& v) { return {v.begin(), v.end()}; }

LoopScale Frame(FakeWindow& w, const std::string& h0, const std::string& hmin) {
  w.texts[Input::H0] = h0;
  w.texts[Input::Hmin] = hmin;
  return DrawLoopFrame(w.Port());
}

TEST(LoopFrameTest, DefaultFrameLandsOnItsPixels) {
  FakeWindow w;
  Frame(w, "3", "-3");
  EXPECT_EQ(DrawnInLoopPanel(w), FramePixels(781, {822, 863, 904, 740, 699, 658}));
  EXPECT_EQ(w.DrawnIn(0, 0, kClientWidth - 1, kClientHeight - 1), static_cast<int>(DrawnInLoopPanel(w).size()));
  EXPECT_EQ(w.Slanted(), 0);

  struct Label {
    int x, y;
    const char* text;
  };
  const Label expected[] = {{819, 495, "1"},  {913, 469, "H"}, {734, 495, "-1"}, {769, 355, "1"},
                            {791, 351, "M"}, {769, 472, "0"}, {766, 607, "-1"}};
  ASSERT_EQ(w.textsOut.size(), std::size(expected));
  for (std::size_t k = 0; k < std::size(expected); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(w.textsOut[k].x, expected[k].x);
    EXPECT_EQ(w.textsOut[k].y, expected[k].y);
    EXPECT_EQ(w.textsOut[k].text, expected[k].text);
    EXPECT_EQ(w.textsOut[k].brush, clWhite);  // each on a white box
  }
}

// Axis, ticks and labels for other field ranges. The label columns are
// those of "1" and "-1" under the field axis and of the four magnetization
// labels.
TEST(LoopFrameTest, RangesMoveTheAxisTicksAndLabels) {
  struct Case {
    const char* h0;
    const char* hmin;
    int axis;
    std::vector<int> positive, negative;
    int one, minusOne;
    std::vector<int> magnetizationLabels;
  };
  const Case cases[] = {
      // Zero field evaluates a hair below 781: axis and ticks from 780.
      {"5", "-5", 780, {806, 832, 858, 884, 910}, {754, 728, 702, 676, 650}, 804, 749, {768, 790, 768, 765}},
      // A fraction adds a positive tick...
      {"2.5", "-3", 790, {834, 878, 922}, {746, 702, 658}, 831, 741, {778, 800, 778, 775}},
      // ...and a negative one only from one half on.
      {"3", "-2.5", 771, {815, 859, 903}, {727, 683, 639}, 812, 722, {759, 781, 759, 756}},
      {"3", "-2.3", 767, {812, 857, 902}, {722, 677}, 810, 717, {755, 777, 755, 752}},
      // An asymmetric range shifts the vertical axis.
      {"3", "-1", 739, {793, 847, 901}, {685}, 791, 680, {727, 749, 727, 724}},
      {"1", "-1", 781, {877}, {685}, 874, 680, {769, 791, 769, 766}},
      // Below one pixel per unit every tick stands on the vertical axis.
      {"150", "-150", 781, {781}, {781}, 778, 775, {769, 791, 769, 766}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin);
    FakeWindow w;
    Frame(w, c.h0, c.hmin);
    const DrawnFrame ticks = TicksOf(w);
    EXPECT_EQ(Distinct(ticks.positive), Distinct(c.positive));
    EXPECT_EQ(Distinct(ticks.negative), Distinct(c.negative));
    std::vector<int> all = c.positive;
    all.insert(all.end(), c.negative.begin(), c.negative.end());
    EXPECT_EQ(DrawnInLoopPanel(w), FramePixels(c.axis, all));
    ASSERT_EQ(w.textsOut.size(), 7u);
    EXPECT_EQ(w.textsOut[0].x, c.one);
    EXPECT_EQ(w.textsOut[2].x, c.minusOne);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(w.textsOut[3 + k].x, c.magnetizationLabels[k]) << k;
  }
}

TEST(LoopFrameTest, TickCountsFollowTheFractionRules) {
  struct Case {
    const char* h0;
    const char* hmin;
    std::size_t positive, negative;
  };
  const Case cases[] = {
      {"3", "-3", 3, 3}, {"2.5", "-2.5", 3, 3}, {"2.3", "-2.3", 3, 2}, {"2.7", "-2.7", 3, 3},
      {"3", "-2.5", 3, 3}, {"0.2", "-0.2", 1, 0}, {"3", "0", 3, 0},  {"0", "-3", 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin);
    FakeWindow w;
    Frame(w, c.h0, c.hmin);
    const DrawnFrame ticks = TicksOf(w);
    EXPECT_EQ(ticks.positive.size(), c.positive);
    EXPECT_EQ(ticks.negative.size(), c.negative);
  }
}

TEST(LoopFrameTest, DrawingTheSameFrameTwiceLeavesTheSamePixels) {
  FakeWindow w;
  Frame(w, "3", "-3");
  const Pixels once = DrawnInLoopPanel(w);
  Frame(w, "3", "-3");
  EXPECT_EQ(DrawnInLoopPanel(w), once);
  // Another range adds its own ticks beside the old ones.
  Frame(w, "3", "-1");
  EXPECT_EQ(w.Pixel(822, 485), clBlack);
  EXPECT_EQ(w.Pixel(793, 485), clBlack);
}

// Faults in the scale stop the frame after the field axis.
TEST(LoopFrameTest, ScaleFaultsStopAfterTheFieldAxis) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* error;
  };
  const Case cases[] = {
      {"-0.5", "-3", "Floating point division by zero"},
      {"3", "0.5", "Floating point division by zero"},
      {"0", "0", "Invalid floating point operation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin);
    FakeWindow w;
    EXPECT_EQ(ErrorMessageOf([&] { Frame(w, c.h0, c.hmin); }), c.error);
    ASSERT_EQ(w.lines.size(), 1u);
    EXPECT_TRUE(w.textsOut.empty());
    Pixels axis;
    for (int x = 637; x <= 925; ++x) axis.insert({x, 487});
    EXPECT_EQ(DrawnInLoopPanel(w), axis);
  }
}

// However many ticks the counts ask for, only the distinct positions on the
// canvas cost anything; a count beyond the 64-bit range is still invalid.
TEST(LoopFrameTest, HugeTickCountsFinishFast) {
  struct Case {
    const char* h0;
    const char* hmin;
    const char* error;
  };
  const Case cases[] = {
      {"1e12", "-1e12", ""},
      // Zero field lies some 7e18 pixels off the canvas, ticks 7 pixels
      // apart: 1e18 of them on one side, none visible.
      {"-0.49999999999999999", "-1e18", ""},
      {"1e18", "0.49999999999999999", ""},
      {"1e300", "-3", "Invalid floating point operation"},
      {"3", "-1e300", "Invalid floating point operation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.h0) + " " + c.hmin);
    FakeWindow w;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorMessageOf([&] { Frame(w, c.h0, c.hmin); }), c.error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_LT(w.lines.size(), 2000u);
  }
  FakeWindow w;
  Frame(w, "1e12", "-1e12");
  const DrawnFrame ticks = TicksOf(w);
  EXPECT_EQ(Distinct(ticks.positive), std::set<int>{781});
  EXPECT_EQ(Distinct(ticks.negative), std::set<int>{781});
}

TEST(PlotMappingTest, FieldAndMagnetizationToPixels) {
  FakeWindow w;
  const LoopScale defaults = Frame(w, "3", "-3");
  const LoopScale five = Frame(w, "5", "-5");
  const LoopScale wide = Frame(w, "150", "-150");
  const LoopScale asymmetric = Frame(w, "3", "-1");
  struct Case {
    const LoopScale* scale;
    double H;
    std::int64_t x;
  };
  const Case cases[] = {
      // The -3 tick stands at 658: the ticks use the truncated spacing.
      {&defaults, -3.0, 657}, {&defaults, 0.0, 781}, {&defaults, 3.0, 904},
      {&defaults, 0.04, 782}, {&defaults, -0.04, 779},
      // The axis stands at 780, the mapping rounds to 781.
      {&five, 0.0, 781},      {&five, -5.0, 650},    {&five, 5.0, 911},
      {&wide, -150.0, 637},   {&wide, 150.0, 924},   {&asymmetric, 0.0, 739},
  };
  for (const Case& c : cases) EXPECT_EQ(PlotX(*c.scale, c.H), c.x) << c.H;

  const std::pair<double, std::int64_t> rows[] = {
      {1.0, 367}, {0.0, 487}, {-1.0, 607}, {0.1, 475}, {0.5, 427}, {-0.25, 517}, {0.005, 486}, {-0.005, 487},
  };
  for (const auto& [M, y] : rows) EXPECT_EQ(PlotY(M), y) << M;
}

TEST(PlotMappingTest, LoopPointIsOneBlackPixel) {
  FakeWindow w;
  const LoopScale scale = Frame(w, "3", "-3");
  FakeWindow trace;
  PlotLoopPoint(trace, scale, 0.0, 0.0);
  PlotLoopPoint(trace, scale, -3.0, -1.0);
  EXPECT_EQ(trace.DrawnIn(0, 0, kClientWidth - 1, kClientHeight - 1), 2);
  EXPECT_EQ(trace.Pixel(781, 487), clBlack);
  EXPECT_EQ(trace.Pixel(657, 607), clBlack);
}

}  // namespace
