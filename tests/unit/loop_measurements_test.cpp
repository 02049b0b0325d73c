// The loop's measurements driven step by step with chosen spin sums and
// fields: crossings, extremes, spin fractions and the read-outs they write.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "form/field_parameters.h"
#include "run/loop_measurements.h"
#include "run/written_readouts.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

constexpr Branch kDown = Branch::Descending;
constexpr Branch kUp = Branch::Ascending;

struct Step {
  Branch branch;
  double H;
  double M;  // a multiple of 1 / (N x N)
};

class MeasurementsTest : public ::testing::Test {
 protected:
  // A Run's measurements on a side-n block with the given field step, set
  // up as the Run sets them up before its sweep.
  LoopMeasurements& Start(int n, double fieldStep) {
    n_ = n;
    L->MinMagnetization = 1.0;
    L->MaxMagnetization = 0.5;
    measurements = std::make_unique<LoopMeasurements>(port, parameters, *L, n, fieldStep, spinSum);
    measurements->StartSweep();
    return *measurements;
  }
  void Take(const Step& s) {
    spinSum = std::llround(s.M * n_ * n_);
    measurements->MeasureStep(s.branch, s.H);
  }
  void Take(const std::vector<Step>& steps) {
    for (const Step& s : steps) Take(s);
  }
  const FakeWindow::ReadoutState& Shown(Quantity r) { return w.Of(r); }
  long double Value(Quantity r) {
    const auto& v = w.Of(r).value;
    EXPECT_TRUE(v.has_value()) << ReadoutFieldName(r);
    return v.value_or(NAN);
  }

  FakeWindow w;
  FormPort port = w.Port();
  FieldParameters parameters{w};
  std::unique_ptr<LatticeState> L = std::make_unique<LatticeState>();
  std::int64_t spinSum = 0;
  std::unique_ptr<LoopMeasurements> measurements;
  int n_ = 0;
};

TEST_F(MeasurementsTest, MagnetizationIsTheMeanSpinStoredAsDouble) {
  const struct {
    int n;
    std::int64_t sum;
    double M;
  } cases[] = {{20, 400, 1.0}, {20, -398, -0.995}, {3, 1, 1.0 / 9}, {300, 1, 1.0 / 90000}, {2, 0, 0.0}, {1, -1, -1.0}};
  for (const auto& c : cases) {
    Start(c.n, 0.04);
    spinSum = c.sum;
    measurements->MeasureStep(kDown, 1.0);
    EXPECT_EQ(measurements->Magnetization(), c.M) << c.n << " " << c.sum;
    EXPECT_EQ(Value(Quantity::Magnetization), static_cast<long double>(c.M));
    EXPECT_EQ(Value(Quantity::AppliedField), 1.0L);
  }
}

// The read-outs computed from the two crossing fields, the window's and the
// standard ones (centre and half width), which agree only where H_down <= 0
// <= H_up.
TEST_F(MeasurementsTest, ShiftAndCoercivityFromTheCrossings) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    double down, up;  // the crossing fields
    long double shift, coercivity;
    const char* shiftText;
    const char* coercivityText;
    double centre, halfWidth;
  };
  const Case cases[] = {
      {"-1.02 and 0.98",
       {{kDown, -1.0, 0.1}, {kDown, -1.04, -0.1}, {kUp, 0.96, -0.1}, {kUp, 1.0, 0.1}},
       -1.02, 0.98, -0.02L, 2.0L, "-0.02", "2", -0.02, 1.0},
      // The descending field enters through its absolute value: the shift
      // is the half width, the coercivity twice the centre.
      {"+0.5 and 1.5",
       {{kDown, 0.52, 0.1}, {kDown, 0.48, -0.1}, {kUp, 1.48, -0.1}, {kUp, 1.52, 0.1}},
       0.5, 1.5, 0.5L, 2.0L, "0.5  ", "2", 1.0, 0.5},
      // Both below zero: the shift is the centre, the coercivity no width.
      {"-2.94 and -1.74",
       {{kDown, -2.92, 0.1}, {kDown, -2.96, -0.1}, {kUp, -1.76, -0.1}, {kUp, -1.72, 0.1}},
       -2.94, -1.74, -2.34L, 4.68L, "-2.34", "4", -2.34, 0.6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(20, 0.04);
    Take(c.steps);
    EXPECT_NEAR(L->DownCrossingField, c.down, 1e-15);
    EXPECT_NEAR(L->UpCrossingField, c.up, 1e-15);
    ASSERT_TRUE(L->ReadoutCrossings.has_value());
    const auto standard = StandardReadouts(*L->ReadoutCrossings);
    EXPECT_EQ(standard[0], L->DownCrossingField);
    EXPECT_EQ(standard[1], L->UpCrossingField);
    EXPECT_NEAR(standard[2], c.centre, 1e-14);
    EXPECT_NEAR(standard[3], c.halfWidth, 1e-14);
    if (c.down <= 0) {
      EXPECT_EQ(static_cast<double>(Value(Quantity::EbShift)), standard[2]);
    }
    if (c.down <= 0 && c.up >= 0) {
      EXPECT_EQ(static_cast<double>(Value(Quantity::Coercivity)), 2 * standard[3]);
    }
    EXPECT_NEAR(static_cast<double>(Value(Quantity::EbShift)), static_cast<double>(c.shift), 1e-15);
    EXPECT_NEAR(static_cast<double>(Value(Quantity::Coercivity)), static_cast<double>(c.coercivity), 1e-15);
    // Exactly the formulas on the stored crossing fields.
    const long double down = L->DownCrossingField, up = L->UpCrossingField;
    EXPECT_EQ(Value(Quantity::EbShift), (std::fabs(down) - up) * -0.5L);
    EXPECT_EQ(Value(Quantity::Coercivity), std::fabs(up) + std::fabs(down));
    EXPECT_EQ(Shown(Quantity::EbShift).text.substr(0, 5), std::string(c.shiftText).substr(0, 5));
    EXPECT_EQ(Shown(Quantity::Coercivity).text.substr(0, 1), c.coercivityText);
  }
}

// Where M changes sign, and where it does not. A crossing through exact
// zeros counts, from the last non-zero M, k steps back.
TEST_F(MeasurementsTest, CrossingFields) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::optional<double> down, up;  // none: not set by this Run
  };
  auto mid = [](double H, int k, double step, Branch b) {
    const long double twice = 2 * static_cast<long double>(H);
    const long double back = k * static_cast<long double>(step);
    return static_cast<double>((b == kDown ? twice + back : twice - back) / 2);
  };
  const double s = 0.04;
  const Case cases[] = {
      {"plain descending", {{kDown, 3.0, 0.5}, {kDown, 2.96, -0.5}}, mid(2.96, 1, s, kDown), std::nullopt},
      // The first step compares with the 0.0 the Run starts from.
      {"first step", {{kDown, 3.0, -0.5}}, std::nullopt, std::nullopt},
      {"zeros first", {{kDown, 3.0, 0.0}, {kDown, 2.96, 0.0}, {kDown, 2.92, -0.5}}, std::nullopt, std::nullopt},
      {"through two zeros down",
       {{kDown, 1.0, 0.1}, {kDown, 0.96, 0.0}, {kDown, 0.92, 0.0}, {kDown, 0.88, -0.1}},
       mid(0.88, 3, s, kDown), std::nullopt},
      {"-0.04, 0.0, 0.035 up",
       {{kUp, 0.0, -0.04}, {kUp, 0.04, 0.0}, {kUp, 0.08, 0.035}},
       std::nullopt, mid(0.08, 2, s, kUp)},
      {"back to the same sign", {{kUp, 0.0, 0.1}, {kUp, 0.04, 0.0}, {kUp, 0.08, 0.1}}, std::nullopt, std::nullopt},
      // The first ascending step compares with the last descending M: at
      // the turning point the crossing is Hmin - step / 2.
      {"turning point", {{kDown, -3.0, 0.1}, {kUp, -3.0, -0.1}}, std::nullopt, -3.02},
      {"turning point through zero",
       {{kDown, -2.96, 0.1}, {kDown, -3.0, 0.0}, {kUp, -3.0, -0.1}},
       std::nullopt, mid(-3.0, 2, s, kUp)},
      // The last change on a branch wins.
      {"last wins",
       {{kDown, 3.0, 0.5}, {kDown, 2.96, -0.5}, {kDown, 2.92, 0.5}, {kDown, 2.88, -0.5}},
       mid(2.88, 1, s, kDown), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    L->DownCrossingField = L->UpCrossingField = 99.0;  // an earlier Run's
    Start(20, s);
    Take(c.steps);
    EXPECT_EQ(L->DownCrossingField, c.down.value_or(99.0));
    EXPECT_EQ(L->UpCrossingField, c.up.value_or(99.0));
  }
  EXPECT_NEAR(mid(0.08, 2, s, kUp), 0.04, 1e-16);
  EXPECT_NEAR(mid(0.88, 3, s, kDown), 0.94, 1e-15);
}

// E-B Shift and Coercivity come from this Run's crossings only: they are
// blanked when the sweep starts and written at an ascending crossing only
// after a descending one.
TEST_F(MeasurementsTest, CrossingReadoutsBelongToTheRun) {
  for (Quantity r : {Quantity::EbShift, Quantity::Coercivity, Quantity::VerticalShift}) w.SetReadout(r, {"old", std::nullopt});
  L->DownCrossingField = -1.0;
  L->ReadoutCrossings = LoopCrossings{-1.0, 1.0};
  w.Forget();
  Start(20, 0.04);
  EXPECT_FALSE(L->ReadoutCrossings.has_value());
  for (Quantity r : {Quantity::EbShift, Quantity::Coercivity, Quantity::VerticalShift}) {
    EXPECT_EQ(Shown(r).text, "     ");
    EXPECT_FALSE(Shown(r).value.has_value());
  }
  EXPECT_EQ(w.Words(), (std::vector<std::string>{"refresh:MaskEdit3", "readout:MaskEdit3", "refresh:MaskEdit4",
                                             "readout:MaskEdit4", "refresh:MaskEdit5", "readout:MaskEdit5"}));

  // M stays positive down the branch and changes sign on the way up.
  Take({{kDown, 3.0, 0.5}, {kDown, -3.0, 0.5}, {kUp, -3.0, 0.5}, {kUp, -2.96, -0.5}, {kUp, 2.0, 0.5}});
  EXPECT_EQ(L->DownCrossingField, -1.0);
  EXPECT_NEAR(L->UpCrossingField, 1.98, 1e-15);
  EXPECT_EQ(Shown(Quantity::EbShift).text, "     ");
  EXPECT_EQ(Shown(Quantity::Coercivity).text, "     ");
  EXPECT_FALSE(L->ReadoutCrossings.has_value());  // the standard read-outs are blank too
  EXPECT_EQ(w.Count("readout:MaskEdit3"), 1);
}

TEST_F(MeasurementsTest, EveryAscendingCrossingWritesTheReadoutsAgain) {
  Start(20, 0.04);
  Take({{kDown, 0.0, 0.5}, {kDown, -0.04, -0.5}});
  w.Forget();
  Take({{kUp, 0.0, -0.5}, {kUp, 0.04, 0.5}, {kUp, 0.08, -0.5}, {kUp, 0.12, 0.5}});
  EXPECT_EQ(w.Count("readout:MaskEdit3"), 3);
  EXPECT_EQ(w.Count("readout:MaskEdit4"), 3);
  EXPECT_NEAR(L->UpCrossingField, 0.1, 1e-15);
  EXPECT_NEAR(static_cast<double>(Value(Quantity::EbShift)), (0.02 - 0.1) * -0.5, 1e-15);
  ASSERT_TRUE(L->ReadoutCrossings.has_value());
  EXPECT_EQ(L->ReadoutCrossings->up, L->UpCrossingField);
}

TEST_F(MeasurementsTest, VerticalShiftFromTheExtremesAtFieldsOfAtLeastH0) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::optional<long double> shift;  // none: left blank
    const char* text;
  };
  const Case cases[] = {
      {"max 1, min -1", {{kUp, -3.0, -1.0}, {kUp, 3.0, 1.0}}, 0.0L, "0    "},
      {"max 0.9, min -1", {{kUp, -3.0, -1.0}, {kUp, 3.0, 0.9}}, -0.025L, "-0.02"},
      // Below H0 the maximum is not raised.
      {"below H0", {{kUp, -3.0, -1.0}, {kUp, 2.96, 1.0}}, std::nullopt, "     "},
      // Not above the 0.5 the Run starts from.
      {"at 0.5", {{kUp, -3.0, -1.0}, {kUp, 3.0, 0.5}}, std::nullopt, "     "},
      // Descending steps never move the extremes.
      {"descending", {{kDown, 3.0, 1.0}, {kDown, 3.04, 1.0}}, std::nullopt, "     "},
      {"min from the ascending branch", {{kDown, -3.0, -1.0}, {kUp, -3.0, -0.5}, {kUp, 3.04, 1.0}}, 0.25L, "0.25 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(20, 0.04);
    Take(c.steps);
    EXPECT_EQ(Shown(Quantity::VerticalShift).text, c.text);
    if (c.shift) {
      EXPECT_NEAR(static_cast<double>(Value(Quantity::VerticalShift)), static_cast<double>(*c.shift), 1e-16);
    }
  }
  Start(20, 0.04);
  Take({{kUp, -3.0, -1.0}, {kUp, 3.0, 0.9}});
  EXPECT_EQ(L->MinMagnetization, -1.0);
  EXPECT_EQ(L->MaxMagnetization, 0.9);
}

TEST_F(MeasurementsTest, EndReadouts) {
  struct Case {
    const char* name;
    std::int64_t plusAtMin, minusAtMax;  // counted by the Run at the two ends
    double lastM;
    long double plusFraction, minusFraction, openEnd;
    const char* plusText;
  };
  // N = 20.
  const Case cases[] = {
      {"one spin left", 1, 399, 1.0, 1 / 400.0L, 399 / 400.0L, 0.0L, "0.002"},
      {"all up", 400, 0, 0.5, 1.0L, 0.0L, 0.5L, "1    "},
      {"ends at -1", 1, 0, -1.0, 1 / 400.0L, 0.0L, 2.0L, "0.002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    L->PlusSpinCount = L->MinusSpinCount = 0;
    Start(20, 0.04);
    measurements->AddPlusSpins(c.plusAtMin);
    measurements->AddMinusSpins(c.minusAtMax);
    Take({kUp, 3.0, c.lastM});
    w.Forget();
    measurements->WriteEndReadouts();
    EXPECT_EQ(w.Words(), (std::vector<std::string>{"refresh:MaskEdit7", "readout:MaskEdit7", "refresh:MaskEdit8",
                                                   "readout:MaskEdit8", "refresh:MaskEdit6", "readout:MaskEdit6"}));
    EXPECT_EQ(Value(Quantity::PlusSpinsAtHmin), c.plusFraction);
    EXPECT_EQ(Value(Quantity::MinusSpinsAtHmax), c.minusFraction);
    EXPECT_EQ(Value(Quantity::OpenEnd), c.openEnd);
    EXPECT_EQ(Shown(Quantity::PlusSpinsAtHmin).text, c.plusText);
  }
}

TEST_F(MeasurementsTest, OpenEndOfARunWithoutStepsIsOne) {
  Start(20, 0.04);
  measurements->WriteEndReadouts();
  EXPECT_EQ(Value(Quantity::OpenEnd), 1.0L);
  EXPECT_EQ(Value(Quantity::PlusSpinsAtHmin), 0.0L);
}

TEST_F(MeasurementsTest, ReadoutOrderWithinAStep) {
  Start(20, 0.04);
  Take({kDown, 0.0, 0.5});
  w.Forget();
  Take({kDown, -0.04, -0.5});
  EXPECT_EQ(w.Words(), (std::vector<std::string>{"refresh:MaskEdit2", "readout:MaskEdit2", "refresh:MaskEdit1",
                                             "readout:MaskEdit1"}));
  w.Forget();
  Take({{kUp, 0.0, -1.0}, {kUp, 3.0, 1.0}});
  EXPECT_EQ(w.Words(), (std::vector<std::string>{
                       "refresh:MaskEdit2", "readout:MaskEdit2", "refresh:MaskEdit1", "readout:MaskEdit1",
                       // The crossing, then the vertical shift, then M and H.
                       "refresh:MaskEdit3", "readout:MaskEdit3", "refresh:MaskEdit4", "readout:MaskEdit4",
                       "read:Edit4", "refresh:MaskEdit5", "readout:MaskEdit5", "refresh:MaskEdit2",
                       "readout:MaskEdit2", "refresh:MaskEdit1", "readout:MaskEdit1"}));
}

}  // namespace
