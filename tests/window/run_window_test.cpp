// "Run" pressed on the real window: the loop frame and trace, the spin
// squares, the progress bar, the read-outs, "Clear", errors, and closing
// the window in the middle of a long Run.

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/frame_pixels.h"
#include "form/field_parameters.h"
#include "form/form_layout.h"
#include "app/readout_edit.h"
#include "app/window_fonts.h"
#include "run/field_sweep.h"
#include "form/loop_plot.h"
#include "form/run_display.h"
#include "tests/window/window_fixture.h"

using namespace ebsim;

namespace {

using Pixel = std::pair<int, int>;

// The loop panel's interior, inside its black outline.
constexpr int kLoopLeft = 638, kLoopRight = 924, kLoopTop = 344, kLoopBottom = 630;
// The spin panel's interior.
constexpr int kSpinLeft = 318, kSpinRight = 604, kSpinTop = 344, kSpinBottom = 630;

class DiscardReadouts final : public ReadoutFields {
 public:
  void SetReadout(Quantity, const ReadoutValue&) override {}
};

struct Step {
  double H, M;
};

class StepRecorder final : public SweepObserver {
 public:
  StepRecorder(const LatticeState& lattice) : lattice_(lattice) {}
  void FieldStepDone(Branch, double H, double M) override {
    steps.push_back({H, M});
    lastSpins = lattice_.SpinMap;
  }
  std::vector<Step> steps;
  SiteMap lastSpins;

 private:
  const LatticeState& lattice_;
};

class RunWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->SetClock(std::make_unique<FixedClock>(0));
  }
  QString Shown(Readout r) { return form->MaskEdit(r)->text(); }

  // Presses "Run" and, on a copy of the lattice as it stood before, runs the
  // same sweep without a picture to learn its steps and last spins.
  std::unique_ptr<StepRecorder> RunAndReplay() {
    auto copy = std::make_unique<LatticeState>(form->Lattice());
    Click(form->Button3);
    auto recorder = std::make_unique<StepRecorder>(*copy);
    copies_.push_back(std::move(copy));
    DiscardReadouts readouts;
    NullSurface nothing;
    RunHysteresis(FormPort{*form, readouts, &nothing}, FieldParameters(*form), *copies_.back(), recorder.get());
    return recorder;
  }

  LoopScale ScaleNow() {
    DiscardReadouts readouts;
    NullSurface nothing;
    return DrawLoopFrame(FormPort{*form, readouts, &nothing});
  }

  // Non-white pixels inside the loop panel.
  static int Ink(const QImage& image) {
    int ink = 0;
    for (int y = kLoopTop; y <= kLoopBottom; ++y)
      for (int x = kLoopLeft; x <= kLoopRight; ++x) ink += image.pixel(x, y) != Rgb(clWhite);
    return ink;
  }

  std::vector<std::unique_ptr<LatticeState>> copies_;
};

// The label boxes the frame writes, as the window font measures them.
std::vector<QRect> LabelBoxes(int one, int minusOne, const std::vector<int>& magnetization) {
  const QFontMetrics metrics(FontFor(FontRole::Window));
  auto box = [&](int x, int y, const char* text) {
    return QRect(x, y, metrics.horizontalAdvance(QString::fromLatin1(text)), metrics.height());
  };
  return {box(one, 495, "1"),
          box(913, 469, "H"),
          box(minusOne, 495, "-1"),
          box(magnetization[0], 355, "1"),
          box(magnetization[1], 351, "M"),
          box(magnetization[2], 472, "0"),
          box(magnetization[3], 607, "-1")};
}

TEST_F(RunWindowTest, DefaultRunDrawsFrameAndTrace) {
  Click(form->Button1);
  Click(form->Button2);
  const std::unique_ptr<StepRecorder> run = RunAndReplay();
  ASSERT_TRUE(errors.empty()) << errors.front();
  ASSERT_EQ(run->steps.size(), 302u);
  const LoopScale scale = ScaleNow();

  std::set<Pixel> black = FramePixels(781, {822, 863, 904, 740, 699, 658});
  std::set<Pixel> trace;
  for (const Step& s : run->steps) trace.insert({static_cast<int>(PlotX(scale, s.H)), static_cast<int>(PlotY(s.M))});
  black.insert(trace.begin(), trace.end());
  const std::vector<QRect> labels = LabelBoxes(819, 734, {769, 791, 769, 766});

  const QImage image = Grab();
  int wrong = 0;
  for (int y = kLoopTop; y <= kLoopBottom; ++y)
    for (int x = kLoopLeft; x <= kLoopRight; ++x) {
      const QRgb pixel = image.pixel(x, y);
      bool inLabel = false;
      for (const QRect& box : labels) inLabel = inLabel || box.contains(x, y);
      if (inLabel) {
        // Text on a white box, and any trace point drawn over it.
        if (pixel != Rgb(clWhite) && pixel != Rgb(clBlack) && wrong++ < 5) ADD_FAILURE() << x << "," << y;
        continue;
      }
      const QRgb want = black.count({x, y}) ? Rgb(clBlack) : Rgb(clWhite);
      if (pixel != want && wrong++ < 5) ADD_FAILURE() << x << "," << y << " is " << std::hex << pixel;
    }
  EXPECT_EQ(wrong, 0);
  // Each label has its glyph and its white box.
  for (const QRect& box : labels) {
    int ink = 0, paper = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x) {
        ink += image.pixel(x, y) == Rgb(clBlack);
        paper += image.pixel(x, y) == Rgb(clWhite);
      }
    EXPECT_GT(ink, 3);
    EXPECT_GT(paper, ink);
  }
  // The trace crosses zero field near zero magnetization, by the axes.
  EXPECT_GT(trace.size(), 100u);
}

TEST_F(RunWindowTest, LoopPointOfZeroFieldAndMagnetizationIsTheAxesCrossing) {
  const LoopScale scale = ScaleNow();
  PlotLoopPoint(form->Surface(), scale, 0.0, 0.0);
  form->Surface().Flush();
  const QImage image = Grab();
  EXPECT_EQ(image.pixel(781, 487), Rgb(clBlack));
  for (const Pixel& p : {Pixel{780, 487}, Pixel{782, 487}, Pixel{781, 486}, Pixel{781, 488}})
    EXPECT_EQ(image.pixel(p.first, p.second), Rgb(clWhite));
}

// The spin squares show the spins of the last step: black for +1, yellow
// for -1, over x 321..401 and y 346..426 for side 20; the rest of the panel
// stays yellow.
TEST_F(RunWindowTest, SpinSquaresOfTheLastStep) {
  Set(InputField::Edit2, "3");  // enough disorder for both colours
  Click(form->Button1);
  Click(form->Button2);
  const std::unique_ptr<StepRecorder> run = RunAndReplay();
  ASSERT_TRUE(errors.empty()) << errors.front();
  const QImage image = Grab();
  int up = 0, down = 0;
  for (int i = 1; i <= 20; ++i)
    for (int j = 1; j <= 20; ++j) {
      const double spin = run->lastSpins(i, j);
      ASSERT_TRUE(spin == 1.0 || spin == -1.0);
      (spin == 1.0 ? up : down)++;
      // The square's own pixels, not shared with a later square.
      for (int x = 4 * i + 318; x <= 4 * i + 320; ++x)
        for (int y = 4 * j + 343; y <= 4 * j + 345; ++y)
          ASSERT_EQ(image.pixel(x, y), Rgb(spin == 1.0 ? clBlack : clYellow)) << i << "," << j;
    }
  EXPECT_GT(up, 0);
  EXPECT_GT(down, 0);
  for (int y = kSpinTop; y <= kSpinBottom; ++y)
    for (int x = kSpinLeft; x <= kSpinRight; ++x) {
      const bool covered = x >= 321 && x <= 401 && y >= 346 && y <= 426;
      if (!covered) {
        ASSERT_EQ(image.pixel(x, y), Rgb(clYellow)) << x << "," << y;
      }
    }
  // The spins are all up again, the picture stays.
  for (int i = 1; i <= 20; ++i)
    for (int j = 1; j <= 20; ++j) ASSERT_EQ(form->Lattice().SpinMap(i, j), 1.0);
}

// A new Run empties the spin panel before its first step: a smaller side
// leaves no square of the larger one.
TEST_F(RunWindowTest, NextRunStartsFromAnEmptySpinPanel) {
  Click(form->Button1);
  Click(form->Button2);
  Click(form->Button3);
  Set(InputField::Edit5, "10");
  Click(form->Button3);
  ASSERT_TRUE(errors.empty()) << errors.front();
  const QImage image = Grab();
  for (int y = kSpinTop; y <= kSpinBottom; ++y)
    for (int x = kSpinLeft; x <= kSpinRight; ++x) {
      const bool covered = x >= 321 && x <= 361 && y >= 346 && y <= 386;
      if (!covered) {
        ASSERT_EQ(image.pixel(x, y), Rgb(clYellow)) << x << "," << y;
      }
    }
}

// The read-outs of the defaults seeded at 0 ms, as ebsim run shows them.
TEST_F(RunWindowTest, ReadoutsAndBarAfterADefaultRun) {
  Click(form->Button1);
  Click(form->Button2);
  Click(form->Button3);
  ASSERT_TRUE(errors.empty()) << errors.front();
  const std::pair<Readout, const char*> expected[] = {
      {Readout::MaskEdit10, "0.055"}, {Readout::MaskEdit3, "-0.44"}, {Readout::MaskEdit4, "2.360"},
      {Readout::MaskEdit5, "0.142"},  {Readout::MaskEdit2, "0.87 "}, {Readout::MaskEdit1, "3    "},
      {Readout::MaskEdit6, "0.13 "},  {Readout::MaskEdit7, "0.177"}, {Readout::MaskEdit8, "0.065"},
  };
  for (const auto& [field, text] : expected) EXPECT_EQ(Shown(field), text) << static_cast<int>(field);
  EXPECT_EQ(form->ProgressBar1->minimum(), 0);
  EXPECT_EQ(form->ProgressBar1->maximum(), 100);
  EXPECT_EQ(form->ProgressBar1->value(), 100);

  // A Run whose last step asks for 101 shows a full bar as well.
  Set(InputField::Edit6, "100");
  Click(form->Button3);
  EXPECT_EQ(form->ProgressBar1->value(), 100);
  // Two Runs with the same inputs write the same read-outs.
  Set(InputField::Edit6, "300");
  Click(form->Button3);
  for (const auto& [field, text] : expected) EXPECT_EQ(Shown(field), text) << static_cast<int>(field);
  EXPECT_TRUE(errors.empty());
}

// "Clear" repaints the loop panel only: frame and trace go, the spin
// picture, the read-outs and the lattice stay.
TEST_F(RunWindowTest, ClearAfterARunErasesOnlyTheLoopPanel) {
  Click(form->Button1);
  Click(form->Button2);
  Click(form->Button3);
  const QImage before = Grab();
  std::vector<QString> texts;
  for (const ReadoutLayout& item : FormReadouts()) texts.push_back(Shown(item.field));
  const SiteMap spins = form->Lattice().SpinMap;
  Click(form->Button5);
  ASSERT_TRUE(errors.empty()) << errors.front();
  const QImage after = Grab();
  const QRect loop(637, 343, 289, 289);
  int changed = 0;
  for (int y = 0; y < after.height(); ++y)
    for (int x = 0; x < after.width(); ++x) {
      if (loop.contains(x, y)) {
        const bool outline = x == 637 || x == 925 || y == 343 || y == 631;
        if (after.pixel(x, y) != Rgb(outline ? clBlack : clWhite) && changed++ < 5) ADD_FAILURE() << x << "," << y;
      } else if (after.pixel(x, y) != before.pixel(x, y) && changed++ < 5) {
        ADD_FAILURE() << "outside the loop panel: " << x << "," << y;
      }
    }
  EXPECT_EQ(changed, 0);
  std::size_t k = 0;
  for (const ReadoutLayout& item : FormReadouts()) EXPECT_EQ(Shown(item.field), texts[k++]);
  for (int i = 1; i <= 20; ++i)
    for (int j = 1; j <= 20; ++j) ASSERT_EQ(form->Lattice().SpinMap(i, j), spins(i, j));
}

// Frames of Runs with other fields pile up until "Clear".
TEST_F(RunWindowTest, FramesPileUp) {
  Set(InputField::Edit5, "3");
  Click(form->Button1);
  Click(form->Button2);
  Click(form->Button3);
  Set(InputField::Edit10, "-1");
  Click(form->Button3);
  ASSERT_TRUE(errors.empty()) << errors.front();
  const QImage image = Grab();
  for (int x : {822, 863, 904, 740, 699, 658, 793, 847, 901, 685})
    EXPECT_EQ(image.pixel(x, 485), Rgb(clBlack)) << x;
  for (int y = 343; y <= 631; ++y) {
    ASSERT_EQ(image.pixel(781, y), Rgb(clBlack)) << y;
    ASSERT_EQ(image.pixel(739, y), Rgb(clBlack)) << y;
  }
}

TEST_F(RunWindowTest, ErrorsAreReportedWithTheirMessage) {
  struct Case {
    InputField field;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {InputField::Edit6, "0", "'0' is not a valid number of steps (1 or more)"},
      {InputField::Edit5, "301", "'301' is not a valid lattice side (1 to 300)"},
      {InputField::Edit4, "0,5", "'0,5' is not a valid floating point value"},
      {InputField::Edit10, "0.5", "Floating point division by zero"},
  };
  Click(form->Button1);
  Click(form->Button2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const QString old = form->Edit(c.field)->text();
    errors.clear();
    Set(c.field, c.text);
    Click(form->Button3);
    EXPECT_EQ(errors, std::vector<std::string>{c.message});
    form->Edit(c.field)->setText(old);
  }
  // The spin panel was emptied each time; nothing else was drawn in it.
  const QImage image = Grab();
  EXPECT_EQ(image.pixel(323, 348), Rgb(clYellow));
  EXPECT_EQ(Shown(Readout::MaskEdit1), "     ");
}

// What the user does during a Run waits for its end: no handler runs and no
// text changes meanwhile; afterwards it all happens.
TEST_F(RunWindowTest, InputDuringARunWaitsForItsEnd) {
  Set(InputField::Edit5, "100");
  Set(InputField::Edit6, "1000");
  Click(form->Button1);
  Click(form->Button2);
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  int savePrompts = 0;
  form->SetSavePathPrompt([&] {
    ++savePrompts;
    return QString();
  });
  bool fired = false;
  QString sideDuring;
  int savePromptsDuring = -1;
  QTimer::singleShot(0, form.get(), [&] {
    fired = true;
    QTest::keyClicks(form->Edit(InputField::Edit5), "7");
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::mouseClick(form->Button5, Qt::LeftButton);  // "Clear"
    sideDuring = form->Edit(InputField::Edit5)->text();
    savePromptsDuring = savePrompts;
  });
  Click(form->Button3);
  ASSERT_TRUE(fired) << "the timer never fired during the Run";
  EXPECT_EQ(sideDuring, "100");
  EXPECT_EQ(savePromptsDuring, 0);
  EXPECT_GT(Ink(form->grab().toImage().convertToFormat(QImage::Format_RGB32)), 0);  // not cleared yet
  QApplication::processEvents();
  EXPECT_EQ(form->Edit(InputField::Edit5)->text(), "1007");
  EXPECT_EQ(savePrompts, 1);
  EXPECT_EQ(Ink(Grab()), 0);
  EXPECT_TRUE(errors.empty());
}

// Closing the window during a long Run ends the Run within a moment; the
// window keeps painting and the timers keep running meanwhile. Input held
// back by the Run dies with the window.
TEST_F(RunWindowTest, ClosingDuringALongRunEndsIt) {
  Set(InputField::Edit5, "300");
  Set(InputField::Edit6, "1000000");
  Click(form->Button1);
  Click(form->Button2);
  ASSERT_TRUE(errors.empty()) << errors.front();
  QElapsedTimer clock;
  qint64 closedAt = -1;
  int progressSeen = -1;
  QTimer::singleShot(400, form.get(), [&] {
    closedAt = clock.elapsed();
    progressSeen = form->ProgressBar1->value();
    QTest::keyClicks(form->Edit(InputField::Edit3), "7");
    form->close();
  });
  clock.start();
  Click(form->Button3);
  const qint64 returnedAt = clock.elapsed();
  EXPECT_TRUE(errors.empty());
  ASSERT_GE(closedAt, 0) << "the timer never fired during the Run";
  // A million steps at side 300 would take many minutes.
  EXPECT_LT(returnedAt - closedAt, 1000);
  EXPECT_LT(returnedAt, 5000);
  EXPECT_FALSE(form->isVisible());
  EXPECT_GE(progressSeen, 0);
  EXPECT_NE(Shown(Readout::MaskEdit1), "     ");  // steps ran before the close
  QApplication::processEvents();
  EXPECT_EQ(form->Edit(InputField::Edit3)->text(), "10");
}

}  // namespace
