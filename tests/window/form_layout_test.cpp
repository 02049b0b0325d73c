// The window as it first appears: panels, legends, texts, caption and the
// keyboard's path through the controls.

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "form/catalogue.h"
#include "form/form_layout.h"
#include "form/field_numbers.h"
#include "app/readout_edit.h"
#include "tests/window/window_fixture.h"

using namespace ebsim;

namespace {

struct Box {
  int left, top, width, height;
};

// Every pixel of the box's border has colour `edge`.
::testing::AssertionResult BorderIs(const QImage& image, Box b, QRgb edge) {
  for (int x = b.left; x < b.left + b.width; ++x)
    for (int y : {b.top, b.top + b.height - 1})
      if (image.pixel(x, y) != edge) return ::testing::AssertionFailure() << "border pixel " << x << "," << y;
  for (int y = b.top; y < b.top + b.height; ++y)
    for (int x : {b.left, b.left + b.width - 1})
      if (image.pixel(x, y) != edge) return ::testing::AssertionFailure() << "border pixel " << x << "," << y;
  return ::testing::AssertionSuccess();
}

// Every pixel inside the box has colour `fill`.
::testing::AssertionResult AreaIs(const QImage& image, Box b, QRgb fill) {
  for (int y = b.top; y < b.top + b.height; ++y)
    for (int x = b.left; x < b.left + b.width; ++x)
      if (image.pixel(x, y) != fill)
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << " is " << std::hex << image.pixel(x, y);
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(WindowTest, PanelsHaveTheirOutlinesAndInteriors) {
  struct Case {
    Box box;
    Color pen, brush;
  };
  const Case cases[] = {
      {{21, 20, 289, 289}, clRed, clWhite},        // Shape1
      {{317, 20, 289, 289}, clYellow, clBlack},    // Shape2
      {{21, 343, 289, 289}, clBlack, clYellow},    // Shape3
      {{317, 343, 289, 289}, clBlack, clYellow},   // Shape4
      {{637, 343, 289, 289}, clBlack, clWhite},    // Shape22
  };
  const QImage image = Grab();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box.left);
    EXPECT_TRUE(BorderIs(image, c.box, Rgb(c.pen)));
    EXPECT_TRUE(AreaIs(image, {c.box.left + 1, c.box.top + 1, c.box.width - 2, c.box.height - 2}, Rgb(c.brush)));
    // Just outside the outline lies the window's face.
    EXPECT_EQ(image.pixel(c.box.left - 1, c.box.top + 5), Rgb(clBtnFace));
    EXPECT_EQ(image.pixel(c.box.left + c.box.width, c.box.top + 5), Rgb(clBtnFace));
  }
  // Shape1's red outline runs from (21,20) to (309,308).
  EXPECT_EQ(image.pixel(21, 20), Rgb(clRed));
  EXPECT_EQ(image.pixel(309, 308), Rgb(clRed));
  EXPECT_EQ(image.pixel(310, 309), Rgb(clBtnFace));
}

TEST_F(WindowTest, LegendSwatchesShowTheirColours) {
  struct Case {
    int left, top;
    Color brush;
    bool outline;
  };
  const Case cases[] = {
      {608, 56, clRed, false},  {608, 72, clYellow, false}, {608, 88, clLime, false},
      {608, 104, clGreen, false}, {608, 120, clAqua, false}, {608, 136, clBlue, false},
      {608, 152, clFuchsia, false}, {608, 168, clPurple, false}, {88, 312, clRed, false},
      {208, 312, clWhite, false}, {80, 636, clBlack, false}, {200, 636, clYellow, false},
      {384, 636, clBlack, true},  {504, 636, clYellow, false},
  };
  const QImage image = Grab();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.left) + "," + std::to_string(c.top));
    // Without an outline the brush covers 14 x 14 pixels; with one, the
    // full 15 x 15.
    const int side = c.outline ? 15 : 14;
    EXPECT_TRUE(AreaIs(image, {c.left, c.top, side, side}, Rgb(c.brush)));
    if (!c.outline) {
      EXPECT_EQ(image.pixel(c.left + 14, c.top + 7), Rgb(clBtnFace));
    }
  }
}

TEST_F(WindowTest, LabelsAreDrawnInTheirColourInsideTheirBox) {
  const QImage image = Grab();
  for (const LabelLayout& label : FormLabels()) {
    SCOPED_TRACE(label.name);
    int inColour = 0;
    for (int y = label.top; y < label.top + label.height; ++y)
      for (int x = label.left; x < label.left + label.width; ++x)
        inColour += image.pixel(x, y) == Rgb(label.color);
    EXPECT_GT(inColour, 10);
  }
}

TEST_F(WindowTest, StartsWithDefaultTextsAndBlankReadouts) {
  const std::pair<InputField, const char*> defaults[] = {
      {InputField::Edit1, "0.04"}, {InputField::Edit3, "10"},  {InputField::Edit2, "2"},
      {InputField::Edit4, "3"},    {InputField::Edit10, "-3"}, {InputField::Edit5, "20"},
      {InputField::Edit6, "300"},
  };
  for (const auto& [field, text] : defaults) EXPECT_EQ(form->Text(InputOf(field).input), text);
  for (const ReadoutLayout& item : FormReadouts()) EXPECT_EQ(form->MaskEdit(item.field)->text(), "     ") << item.name;
  EXPECT_EQ(form->ProgressBar1->minimum(), 0);
  EXPECT_EQ(form->ProgressBar1->maximum(), 100);
}

TEST_F(WindowTest, StaticTextsSitOnSilver) {
  const QImage image = Grab();
  for (const StaticTextLayout& item : FormStaticTexts()) {
    // The last column is past any glyph of these short texts.
    EXPECT_EQ(image.pixel(item.left + item.width - 1, item.top + 16), Rgb(clSilver)) << item.name;
  }
}

TEST_F(WindowTest, CaptionHoldsEightySevenBlanks) {
  const QString caption = form->windowTitle();
  EXPECT_EQ(caption.size(), 165);
  EXPECT_TRUE(caption.startsWith("Exchange bias simulation - Random-Field Ising Model" + QString(87, ' ') + "ver"));
  EXPECT_TRUE(caption.endsWith("ver_for_QVTR_2-dim_cond_100"));
}

TEST_F(WindowTest, TabWalksTheControlsInOrder) {
  const char* expected[] = {"Button1", "Edit1",     "Edit2",     "Button2",   "Edit3",     "Edit4",
                            "Button3", "Button4",   "Edit10",    "MaskEdit1", "MaskEdit2", "MaskEdit3",
                            "MaskEdit4", "MaskEdit5", "Button5", "Edit5",     "Edit6",     "MaskEdit6",
                            "MaskEdit7", "MaskEdit8", "MaskEdit10", "Button1"};
  form->activateWindow();
  form->Button1->setFocus();
  for (const char* name : expected) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), name);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
}

TEST_F(WindowTest, ClearOnAFreshWindowChangesNoPixel) {
  const QImage before = Grab();
  form->Button5->click();
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(Grab(), before);
}

TEST_F(WindowTest, RunButtonsDoNothingYetAndReportNothing) {
  for (QPushButton* button : {form->Button1, form->Button2, form->Button3})
    QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_TRUE(errors.empty());
}

TEST_F(WindowTest, ReadoutsTakeAtMostFiveDigitsSignsOrBlanks) {
  ReadoutEdit* field = form->MaskEdit(Readout::MaskEdit1);
  field->setFocus(Qt::TabFocusReason);
  field->selectAll();
  QTest::keyClicks(field, "1a2.3E+4-56");
  EXPECT_EQ(field->text(), "123+4");
  // A written number is shown whole even where it is longer than five.
  form->SetReadout(Quantity::AppliedField, {"-3E-17", -3E-17L});
  EXPECT_EQ(field->text(), "-3E-17");
}

TEST_F(WindowTest, DefaultRealTextsFollowTheSeparatorInForceAtStart) {
  TForm1 comma(DecimalSeparator(U','));
  EXPECT_EQ(comma.Text(Input::Dilution), "0,04");
  EXPECT_EQ(comma.Text(Input::Hmin), "-3");
}

TEST_F(WindowTest, LocaleChangeRereadsTheSeparator) {
  form->SetSeparator(DecimalSeparator(U','));
  QEvent change(QEvent::LocaleChange);
  QApplication::sendEvent(form.get(), &change);
  EXPECT_EQ(form->Separator().CodePoint(), LocaleDecimalSeparator());
}
