// What the runs draw stays on the window until a panel is refreshed.

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "tests/window/window_fixture.h"

using namespace ebsim;

namespace {

// Draws with every operation: a filled square and a pixel inside each map
// panel and the loop panel, a line and a text over the loop panel, and a
// square on the bare window face between the panels.
void DrawEverywhere(DrawingSurface& surface) {
  surface.SetBrushColor(clRed);
  for (int x : {100, 400, 700}) surface.FillRect(x, 400, x + 5, 405);
  surface.FillRect(100, 100, 105, 105);
  surface.FillRect(312, 100, 315, 103);  // between Shape1 and Shape2
  surface.SetPixel(800, 600, clBlue);
  surface.MoveTo(640, 487);
  surface.LineTo(700, 487);
  surface.SetBrushColor(clWhite);
  surface.TextOut(769, 355, "1");
}

}  // namespace

TEST_F(WindowTest, LineStopsShortOfItsEndAndPixelsLandExactly) {
  const QImage before = Grab();
  DrawEverywhere(form->Surface());
  form->Surface().Flush();
  const QImage after = Grab();
  EXPECT_EQ(after.pixel(640, 487), Rgb(clBlack));
  EXPECT_EQ(after.pixel(699, 487), Rgb(clBlack));
  EXPECT_EQ(after.pixel(700, 487), before.pixel(700, 487));
  EXPECT_EQ(after.pixel(800, 600), Rgb(clBlue));
  // A fill covers left..right-1 and top..bottom-1.
  EXPECT_EQ(after.pixel(704, 404), Rgb(clRed));
  EXPECT_EQ(after.pixel(705, 404), before.pixel(705, 404));
  EXPECT_EQ(after.pixel(704, 405), before.pixel(704, 405));
  // The text sits on a box of the brush colour.
  EXPECT_EQ(after.pixel(769, 355), Rgb(clWhite));
}

TEST_F(WindowTest, DrawingSurvivesARepaint) {
  form->Button1->setFocus();
  DrawEverywhere(form->Surface());
  form->Surface().Flush();
  const QImage drawn = Grab();
  form->hide();
  form->show();
  form->Button1->setFocus();
  form->repaint();
  const QImage again = Grab();
  int differences = 0;
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x)
      if (again.pixel(x, y) != drawn.pixel(x, y) && differences++ < 5) ADD_FAILURE() << x << "," << y;
  EXPECT_EQ(differences, 0);
}

TEST_F(WindowTest, RefreshOfAPanelErasesExactlyItsRectangle) {
  const QImage fresh = Grab();
  DrawEverywhere(form->Surface());
  form->Surface().Flush();
  const QImage drawn = Grab();
  form->Surface().Refresh(Panel::Shape22);
  const QImage refreshed = Grab();
  const QRect loopPanel(637, 343, 289, 289);
  int differences = 0;
  for (int y = 0; y < fresh.height(); ++y)
    for (int x = 0; x < fresh.width(); ++x) {
      const QRgb expected = loopPanel.contains(x, y) ? fresh.pixel(x, y) : drawn.pixel(x, y);
      differences += refreshed.pixel(x, y) != expected;
    }
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(refreshed.pixel(100, 400), Rgb(clRed));  // other panels keep theirs
}

TEST_F(WindowTest, ClearErasesTheLoopPanelOnly) {
  DrawEverywhere(form->Surface());
  form->Surface().Flush();
  QTest::mouseClick(form->Button5, Qt::LeftButton);
  const QImage image = Grab();
  EXPECT_EQ(image.pixel(700, 402), Rgb(clWhite));
  EXPECT_EQ(image.pixel(640, 487), Rgb(clWhite));
  EXPECT_EQ(image.pixel(400, 402), Rgb(clRed));
  EXPECT_EQ(image.pixel(313, 101), Rgb(clRed));
}

TEST_F(WindowTest, ProgressPositionOutsideTheRangeShowsTheNearerEnd) {
  DrawingSurface& surface = form->Surface();
  surface.SetProgressMin(0);
  surface.SetProgressMax(100);
  const std::pair<int, int> cases[] = {{50, 50}, {101, 100}, {-3, 0}, {100, 100}, {0, 0}};
  for (const auto& [position, shown] : cases) {
    surface.SetProgressPosition(position);
    EXPECT_EQ(form->ProgressBar1->value(), shown) << position;
  }
}
