// "Run LEE Constants" and "Run QRF Fields" pressed on the real window: the
// squares land on their exact pixels and a new run wipes the old ones.

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "app/readout_edit.h"
#include "form/panel_geometry.h"
#include "setup/random_field_run.h"
#include "tests/window/window_fixture.h"

using namespace ebsim;

namespace {

struct PanelBox {
  PanelOrigin origin;
  int left, top, right, bottom;  // the panel's interior, inclusive
  Color interior;
};
const PanelBox kExchangeBox{kExchangePanel, 22, 21, 308, 307, clWhite};
const PanelBox kFieldBox{kRandomFieldPanel, 318, 21, 604, 307, clCaptionText};
const PanelBox kEnergyBox{kEnergyPanel, 22, 344, 308, 630, clYellow};

// As the window shows a colour.
QRgb Opaque(Color color) { return 0xFF000000u | ToRgb(ResolveColor(color)); }

using SquareColour = std::function<std::optional<Color>(int i, int j)>;

// Every pixel inside the panel is what painting the squares of the cells
// 1..side (at most 70) in row-major order over the bare interior gives.
::testing::AssertionResult PanelShows(const QImage& image, const PanelBox& box, int side, const SquareColour& colour) {
  std::map<std::pair<int, int>, Color> painted;
  const int shown = std::min(side, kShownSide);
  for (int i = 1; i <= shown; ++i)
    for (int j = 1; j <= shown; ++j) {
      const std::optional<Color> c = colour(i, j);
      if (!c) continue;
      const SiteSquare s = SiteSquareAt(box.origin.x, box.origin.y, i, j);
      for (int x = s.left; x < s.right; ++x)
        for (int y = s.top; y < s.bottom; ++y) painted[{x, y}] = *c;
    }
  int wrong = 0;
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  for (int y = box.top; y <= box.bottom; ++y)
    for (int x = box.left; x <= box.right; ++x) {
      const auto it = painted.find({x, y});
      const QRgb want = Opaque(it != painted.end() ? it->second : box.interior);
      if (image.pixel(x, y) != want && wrong++ < 5)
        result << "pixel " << x << "," << y << " is " << std::hex << image.pixel(x, y) << " not " << want << std::dec
               << "; ";
    }
  if (wrong == 0) return ::testing::AssertionSuccess();
  return result << wrong << " pixels differ";
}

class SetupRunsWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->SetClock(std::make_unique<FixedClock>(0));
  }
  LatticeState& L() { return form->Lattice(); }
};

// The colours the worked example gives, cell by cell.
std::optional<Color> ExampleExchange(int i, int) { return i == 2 ? clWhite : clRed; }
std::optional<Color> ExampleEnergy(int, int) { return clBlack; }
std::optional<Color> ExampleField(int, int j) { return j == 2 ? clGreen : clLime; }

TEST_F(SetupRunsWindowTest, WorkedExampleOnScreen) {
  Set(InputField::Edit5, "3");
  Click(form->Button1);
  Click(form->Button2);
  ASSERT_TRUE(errors.empty()) << errors.front();
  const QImage image = Grab();
  EXPECT_TRUE(PanelShows(image, kExchangeBox, 3, ExampleExchange));
  EXPECT_TRUE(PanelShows(image, kEnergyBox, 3, ExampleEnergy));
  EXPECT_TRUE(PanelShows(image, kFieldBox, 3, ExampleField));
  // Shared pixels go to the later square: the white (2, 1) over the red
  // (1, 1), the red (3, 1) over the white (2, 1); the green (1, 2) over the
  // lime (1, 1), the lime (1, 3) over the green (1, 2).
  EXPECT_EQ(image.pixel(28, 26), Rgb(clRed));
  EXPECT_EQ(image.pixel(29, 26), Rgb(clWhite));
  EXPECT_EQ(image.pixel(33, 26), Rgb(clRed));
  EXPECT_EQ(image.pixel(322, 27), Rgb(clLime));
  EXPECT_EQ(image.pixel(322, 28), Rgb(clGreen));
  EXPECT_EQ(image.pixel(322, 32), Rgb(clLime));
  EXPECT_EQ(form->MaskEdit(Readout::MaskEdit10)->text(), "0.666");
}

TEST_F(SetupRunsWindowTest, SideAboveSeventyShowsOnlyTheFirstSeventy) {
  Set(InputField::Edit5, "80");
  Set(InputField::Edit1, "0.5");
  Click(form->Button1);
  Click(form->Button2);
  ASSERT_TRUE(errors.empty()) << errors.front();
  // Red squares beyond 70 would show if they were drawn.
  bool enhancedBeyond = false;
  for (int j = 1; j <= 70; ++j) enhancedBeyond = enhancedBeyond || L().ExchangeMap(71, j) != 1.0;
  ASSERT_TRUE(enhancedBeyond);
  const QImage image = Grab();
  EXPECT_TRUE(PanelShows(image, kExchangeBox, 80, [&](int i, int j) -> std::optional<Color> {
    return L().ExchangeMap(i, j) != 1.0 ? clRed : clWhite;
  }));
  EXPECT_TRUE(PanelShows(image, kEnergyBox, 80, [&](int i, int j) -> std::optional<Color> {
    return L().FmEnergyMap(i, j) > 4 ? clBlack : clYellow;
  }));
  EXPECT_TRUE(PanelShows(image, kFieldBox, 80, [&](int i, int j) { return RandomFieldClass(L().QrfMap(i, j), 2); }));
}

TEST_F(SetupRunsWindowTest, NewExchangeRunWipesItsPanelsButNotTheFields) {
  Set(InputField::Edit5, "10");
  Set(InputField::Edit1, "1");
  Click(form->Button1);
  Click(form->Button2);
  const QImage first = Grab();
  ASSERT_TRUE(PanelShows(first, kExchangeBox, 10, [](int, int) { return clRed; }));
  ASSERT_TRUE(PanelShows(first, kEnergyBox, 10, [](int, int) { return clBlack; }));
  const auto fields = [&](int i, int j) { return RandomFieldClass(L().QrfMap(i, j), 2); };

  Set(InputField::Edit5, "3");
  Set(InputField::Edit1, "0.04");
  Click(form->Button1);
  ASSERT_TRUE(errors.empty()) << errors.front();
  const QImage second = Grab();
  EXPECT_TRUE(PanelShows(second, kExchangeBox, 3, ExampleExchange));
  EXPECT_TRUE(PanelShows(second, kEnergyBox, 3, ExampleEnergy));
  EXPECT_TRUE(PanelShows(second, kFieldBox, 10, fields));
  EXPECT_EQ(form->MaskEdit(Readout::MaskEdit10)->text(), "0.666");
}

TEST_F(SetupRunsWindowTest, BadSideIsReportedAndDrawsNothing) {
  Set(InputField::Edit5, "3");
  Click(form->Button1);
  Click(form->Button2);
  Set(InputField::Edit5, "301");
  Click(form->Button1);
  EXPECT_EQ(errors, std::vector<std::string>{"'301' is not a valid lattice side (1 to 300)"});
  EXPECT_EQ(L().LatticeSize, 0);
  const QImage image = Grab();
  EXPECT_TRUE(PanelShows(image, kExchangeBox, 3, ExampleExchange));
  EXPECT_TRUE(PanelShows(image, kEnergyBox, 3, ExampleEnergy));
  EXPECT_EQ(form->MaskEdit(Readout::MaskEdit10)->text(), "0.666");
  // With no side, "Run QRF Fields" only wipes its panel.
  Click(form->Button2);
  EXPECT_TRUE(PanelShows(Grab(), kFieldBox, 0, ExampleField));
  EXPECT_EQ(errors.size(), 1u);
}

}  // namespace
