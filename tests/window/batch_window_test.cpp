// The window's batch side: `ebsim render` draws the very panels the window
// shows after the same three runs, and Ctrl+S saves the window and the
// last Run's loop.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "form/form_layout.h"
#include "app/window_render.h"
#include "cli/run_options.h"
#include "sim/loop_csv.h"
#include "tests/window/window_fixture.h"

using namespace ebsim;

namespace {

struct PanelRect {
  const char* name;
  int left, top;
};
// The five picture panels, 289 x 289 each.
constexpr PanelRect kPanels[] = {
    {"Shape1", 21, 20}, {"Shape2", 317, 20}, {"Shape3", 21, 343}, {"Shape4", 317, 343}, {"Shape22", 637, 343},
};
constexpr int kPanelSide = 289;

struct RenderCase {
  const char* name;
  std::uint32_t seedMs;
  std::map<InputField, std::string> texts;
  std::optional<char32_t> separator;
  std::string error;  // what the window reports, if a run fails
};

const RenderCase kRenderCases[] = {
    {"Defaults", 45296789, {}, std::nullopt, ""},
    {"LargeDilutedFewSteps", 1000, {{InputField::Edit5, "70"}, {InputField::Edit1, "0.1"}, {InputField::Edit6, "120"}},
     std::nullopt, ""},
    {"DecimalComma", 86399999, {{InputField::Edit2, "1,5"}, {InputField::Edit10, "-2,5"}}, U',', ""},
    {"RunRefusesItsFields", 0, {{InputField::Edit4, "-4"}}, std::nullopt,
     "Init. Mag. Field must not be below Min. Mag. Field"},
};

void PrintTo(const RenderCase& c, std::ostream* out) { *out << c.name; }

// Where two pictures differ inside a rectangle: the first few pixels.
::testing::AssertionResult SamePixels(const QImage& a, const QImage& b, const PanelRect& panel) {
  int wrong = 0;
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  for (int y = panel.top; y < panel.top + kPanelSide; ++y)
    for (int x = panel.left; x < panel.left + kPanelSide; ++x)
      if (a.pixel(x, y) != b.pixel(x, y) && wrong++ < 3)
        result << panel.name << " pixel " << x << "," << y << ": " << std::hex << a.pixel(x, y) << " vs "
               << b.pixel(x, y) << std::dec << "; ";
  if (wrong == 0) return ::testing::AssertionSuccess();
  return result << wrong << " pixels differ";
}

int DistinctColours(const QImage& image, const PanelRect& panel) {
  std::set<QRgb> colours;
  for (int y = panel.top; y < panel.top + kPanelSide; ++y)
    for (int x = panel.left; x < panel.left + kPanelSide; ++x) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

class RenderMatchesWindowTest : public WindowTest, public ::testing::WithParamInterface<RenderCase> {};

TEST_P(RenderMatchesWindowTest, PanelsEqualTheWindowsAfterTheSameRuns) {
  const RenderCase& c = GetParam();
  CommonOptions options;
  options.texts = c.texts;
  options.seedMs = c.seedMs;
  options.separator = c.separator;
  const Rendering rendering = RenderWindow({c.texts, c.seedMs, c.separator.value_or(U'.')});
  ASSERT_EQ(rendering.error.has_value(), !c.error.empty());
  if (rendering.error) {
    EXPECT_EQ(*rendering.error, ErrorBoxText(c.error));
    EXPECT_EQ(rendering.stage, "run");
  }

  // The same texts typed into the window, the clock at the same time, the
  // three buttons clicked.
  const HeadlessFields fields = PrepareFields(options);
  form->SetSeparator(fields.Separator());  // as a window in a locale with that separator
  for (const InputEntry& input : Inputs())
    form->Edit(input.field)->setText(QString::fromStdString(fields.Text(input.field)));
  form->SetClock(std::make_unique<FixedClock>(c.seedMs));
  for (QPushButton* button : {form->Button1, form->Button2, form->Button3})
    QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(errors, c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});

  const QImage window = Grab();
  const QImage picture = rendering.picture.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), window.size());
  for (const PanelRect& panel : kPanels) EXPECT_TRUE(SamePixels(picture, window, panel));
  // The exchange map shows both kinds of site: not an empty panel.
  EXPECT_GE(DistinctColours(picture, kPanels[0]), 2);
}

INSTANTIATE_TEST_SUITE_P(Inputs, RenderMatchesWindowTest, ::testing::ValuesIn(kRenderCases),
                         [](const ::testing::TestParamInfo<RenderCase>& param) { return param.param.name; });

class SaveWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    form->SetClock(std::make_unique<FixedClock>(45296789));
    for (QPushButton* button : {form->Button1, form->Button2, form->Button3}) button->click();
    ASSERT_TRUE(errors.empty());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  // Ctrl+S with the save dialog answering `name` (in the test's directory,
  // or empty).
  void PressCtrlS(const QString& name) {
    const QString path = name.isEmpty() ? QString() : dir.filePath(name);
    int asked = 0;
    form->SetSavePathPrompt([&] {
      ++asked;
      return path;
    });
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
  }

  QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

  std::string LoopCsvText() const {
    std::ostringstream text;
    WriteLoopCsv(text, form->LastLoop());
    return text.str();
  }

  std::string Read(const QString& name) const {
    std::ifstream in(dir.filePath(name).toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  QTemporaryDir dir;
};

TEST_F(SaveWindowTest, CtrlSSavesThePictureAndTheLoopBesideIt) {
  struct Case {
    QString answer, png, csv;
  };
  const Case cases[] = {
      {"study.png", "study.png", "study.csv"},
      {"second", "second.png", "second.csv"},
      {"run.2.PNG", "run.2.PNG", "run.2.csv"},
      // A name that is the loop's own gets a picture of its own.
      {"loop.csv", "loop.csv.png", "loop.csv.csv"},
  };
  QStringList expected;
  for (const Case& c : cases) {
    PressCtrlS(c.answer);
    expected << c.png << c.csv;
    expected.sort();
    EXPECT_EQ(Files(), expected) << c.answer.toStdString();

    const QImage picture(dir.filePath(c.png), "PNG");
    ASSERT_FALSE(picture.isNull()) << c.png.toStdString();
    EXPECT_EQ(picture.size(), QSize(kClientWidth, kClientHeight));
    EXPECT_EQ(picture.size(), form->size());

    const std::string csv = Read(c.csv);
    EXPECT_EQ(csv, LoopCsvText());
    std::istringstream lines(csv);
    int down = 0, up = 0, rows = 0;
    for (std::string line; std::getline(lines, line); ++rows) {
      down += line.rfind("down,", 0) == 0 ? 1 : 0;
      up += line.rfind("up,", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(rows, 1 + 151 + 151);
    EXPECT_EQ(down, 151);
    EXPECT_EQ(up, 151);
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(SaveWindowTest, AnEmptyPathSavesNothing) {
  PressCtrlS(QString());
  EXPECT_TRUE(Files().isEmpty());
  EXPECT_TRUE(errors.empty());
}

TEST_F(SaveWindowTest, AFolderThatCannotBeWrittenIsReported) {
  PressCtrlS("missing/study.png");
  EXPECT_TRUE(Files().isEmpty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Cannot save"), std::string::npos) << errors[0];
}

}  // namespace
