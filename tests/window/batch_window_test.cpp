// The window's batch side: `ebsim render` draws the very panels the window
// shows after the same three runs, and Ctrl+S saves the window and the
// last Run's loop.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/errors.h"
#include "form/form_layout.h"
#include "app/window_render.h"
#include "cli/run_options.h"
#include "run/loop_csv.h"
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
  std::map<Input, std::string> texts;
  std::optional<char32_t> separator;
  std::string error;  // what the window reports, if a run fails
};

const RenderCase kRenderCases[] = {
    {"Defaults", 45296789, {}, std::nullopt, ""},
    {"LargeDilutedFewSteps", 1000, {{Input::Side, "70"}, {Input::Dilution, "0.1"}, {Input::Steps, "120"}},
     std::nullopt, ""},
    {"DecimalComma", 86399999, {{Input::FieldSd, "1,5"}, {Input::Hmin, "-2,5"}}, U',', ""},
    {"RunRefusesItsFields", 0, {{Input::H0, "-4"}}, std::nullopt,
     "Init. Mag. Field must not be below Min. Mag. Field"},
    // Row and column n, which copy row and column 1, are shown.
    {"EdgeCopiesShown", 777, {{Input::Side, "3"}, {Input::Dilution, "0.4"}}, std::nullopt, ""},
    {"WiderThanShown", 4242, {{Input::Side, "83"}, {Input::FieldSd, "0.7"}}, std::nullopt, ""},
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
    form->Edit(input.control)->setText(QString::fromStdString(fields.Text(input.input)));
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

  // Sides beyond 300 are run compactly and drawn from the engine: on these
  // sides that path draws the same picture, read-outs included.
  RenderRequest compact{c.texts, c.seedMs, c.separator.value_or(U'.')};
  compact.compact = true;
  const Rendering compactRendering = RenderWindow(compact);
  EXPECT_EQ(compactRendering.error, rendering.error);
  EXPECT_EQ(compactRendering.stage, rendering.stage);
  const QImage compactPicture = compactRendering.picture.convertToFormat(QImage::Format_RGB32);
  for (const PanelRect& panel : kPanels) EXPECT_TRUE(SamePixels(compactPicture, picture, panel));
  EXPECT_TRUE(compactPicture == picture);
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
    form->SetReplaceQuestion([this](const QStringList& existing) {
      questions.push_back(existing);
      return replace;
    });
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

  // The saved loop file: a "# {json}" line (see below), the loop, and an
  // end line with the rows.
  std::string LoopCsvText() const {
    std::ostringstream text;
    WriteLoopCsv(text, form->LastLoop());
    return text.str();
  }
  std::string SavedLoop(const QString& name) const {
    std::string csv = Read(name);
    EXPECT_EQ(csv.rfind("# {", 0), 0u);
    csv.erase(0, csv.find('\n') + 1);
    const std::size_t end = csv.rfind("# {");
    EXPECT_NE(end, std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(csv.substr(end + 2)).at("rows"), form->LastLoop().size());
    return csv.erase(end);
  }
  // The first and last lines of a loop file, as JSON.
  std::pair<nlohmann::json, nlohmann::json> LoopMetadata(const QString& name) const {
    const std::string csv = Read(name);
    const std::size_t end = csv.rfind("# {");
    return {nlohmann::json::parse(csv.substr(2, csv.find('\n') - 2)), nlohmann::json::parse(csv.substr(end + 2))};
  }

  std::string Read(const QString& name) const {
    std::ifstream in(dir.filePath(name).toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  void Put(const QString& name, const std::string& text) const {
    std::ofstream(dir.filePath(name).toStdString(), std::ios::binary) << text;
  }

  // Every entry of the test's directory, hidden ones too: a regular file's
  // text, where a link points, or "folder".
  std::map<QString, std::string> Entries() const {
    std::map<QString, std::string> entries;
    for (const QFileInfo& entry : QDir(dir.path()).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                                 QDir::NoDotAndDotDot)) {
      const QString name = entry.fileName();
      if (entry.isSymLink())
        entries[name] = "-> " + entry.symLinkTarget().toStdString();
      else
        entries[name] = entry.isDir() ? "folder" : Read(name);
    }
    return entries;
  }

  void RemoveAll() {
    ASSERT_TRUE(QDir(dir.path()).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(dir.path()));
  }

  QTemporaryDir dir;
  std::vector<QStringList> questions;  // what the question before replacing named
  bool replace = false;                // its answer
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

    const std::string csv = SavedLoop(c.csv);
    EXPECT_EQ(csv, LoopCsvText());
    std::istringstream lines(csv);
    int down = 0, up = 0, rows = 0;
    for (std::string line; std::getline(lines, line); ++rows) {
      down += line.find(",down,") != std::string::npos ? 1 : 0;
      up += line.find(",up,") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(rows, 1 + 151 + 151);
    EXPECT_EQ(down, 151);
    EXPECT_EQ(up, 151);
  }
  EXPECT_TRUE(errors.empty());
}

// The loop file names the seed and the texts behind its loop, and the ebsim
// command it gives writes the very same table.
TEST_F(SaveWindowTest, TheLoopFileGivesTheCommandThatRepeatsItsLoop) {
  form->Edit(InputField::Edit5)->setText(QStringLiteral("37"));
  form->Edit(InputField::Edit6)->setText(QStringLiteral("120"));
  form->SetClock(std::make_unique<FixedClock>(6543210));
  for (QPushButton* button : {form->Button1, form->Button2, form->Button3}) button->click();
  PressCtrlS(QStringLiteral("window.png"));
  const auto [metadata, end] = LoopMetadata(QStringLiteral("window.csv"));
  EXPECT_EQ(metadata.at("file"), "loop");
  EXPECT_EQ(metadata.at("seed_ms"), 6543210);
  EXPECT_EQ(metadata.at("run_inputs").at("side"), "37");
  const std::string repeat = metadata.at("repeat").get<std::string>();
  ASSERT_EQ(repeat.rfind("ebsim ", 0), 0u);
  const std::string ebsim = QCoreApplication::applicationDirPath().toStdString() + "/ebsim";
  const std::string command = ebsim + repeat.substr(5) + " --loop-csv '" + dir.filePath("ebsim.csv").toStdString() + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string table = SavedLoop(QStringLiteral("window.csv"));
  EXPECT_EQ(table.rfind("step,branch,H,M\n", 0), 0u);
  EXPECT_EQ(SavedLoop(QStringLiteral("ebsim.csv")), table);
  const auto [headlessMetadata, headlessEnd] = LoopMetadata(QStringLiteral("ebsim.csv"));
  for (const char* key : {"rows", "complete"}) EXPECT_EQ(end.at(key), headlessEnd.at(key)) << key;
  EXPECT_EQ(end.at("rows"), 122);
}

// The first line is there whatever was pressed; without a set-up behind
// the loop it says why no command repeats it.
TEST_F(SaveWindowTest, TheLoopFileSaysWhyNoCommandRepeatsALoopWithoutASetUp) {
  struct Case {
    const char* presses;  // E: Run LEE Constants, F: the same refused, R: Run QRF Fields, L: Run
    const char* why;
  };
  const Case cases[] = {
      {"", "no Run"},
      {"L", "no exchange set-up"},
      {"RL", "no exchange set-up"},
      {"FL", "the exchange set-up failed"},
      {"ERLFRL", "the exchange set-up failed"},
  };
  int saved = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.presses);
    WindowTest::SetUp();  // a window on which nothing was pressed
    for (const char* p = c.presses; *p; ++p) {
      if (*p == 'F') Set(InputField::Edit5, "0");
      if (*p == 'E' || *p == 'F') form->Button1->click();
      if (*p == 'F') Set(InputField::Edit5, "20");
      if (*p == 'R') form->Button2->click();
      if (*p == 'L') form->Button3->click();
    }
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const QString name = QStringLiteral("case%1.png").arg(++saved);
    PressCtrlS(name);
    const auto [metadata, end] = LoopMetadata(QString(name).replace(QStringLiteral(".png"), QStringLiteral(".csv")));
    EXPECT_EQ(metadata.at("program"), "window");
    EXPECT_TRUE(metadata.at("repeat").is_null());
    EXPECT_EQ(metadata.at("not_repeatable"), c.why);
    EXPECT_EQ(metadata.at("run_inputs").is_null(), !std::strchr(c.presses, 'L'));
    EXPECT_EQ(end.at("rows"), form->LastLoop().size());
    EXPECT_EQ(end.at("complete"), std::strchr(c.presses, 'L') != nullptr);
  }
}

TEST_F(SaveWindowTest, AnEmptyPathSavesNothing) {
  PressCtrlS(QString());
  EXPECT_TRUE(Files().isEmpty());
  EXPECT_TRUE(errors.empty());
}

TEST_F(SaveWindowTest, ReplacingAsksOnceNamingTheFilesThatExist) {
  struct Case {
    const char* answer;
    QStringList existing;  // each holds "old NAME"
    bool replace;
  };
  const Case cases[] = {
      {"study.png", {"study.csv"}, false},
      {"study.png", {"study.png"}, false},
      // ".png" is added before anything is looked up.
      {"study", {"study.png", "study.csv"}, false},
      {"study", {"study.png", "study.csv"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.answer) + " over " + c.existing.join(", ").toStdString());
    RemoveAll();
    QStringList named;
    for (const QString& name : c.existing) {
      Put(name, "old " + name.toStdString());
      named << dir.filePath(name);
    }
    const auto before = Entries();
    questions.clear();
    replace = c.replace;
    PressCtrlS(c.answer);
    EXPECT_EQ(questions, std::vector<QStringList>{named});
    if (c.replace) {
      EXPECT_EQ(Files(), QStringList({"study.csv", "study.png"}));
      EXPECT_EQ(SavedLoop("study.csv"), LoopCsvText());
      EXPECT_EQ(QImage(dir.filePath("study.png"), "PNG").size(), QSize(kClientWidth, kClientHeight));
    } else {
      EXPECT_EQ(Entries(), before);
    }
  }
  EXPECT_TRUE(errors.empty());
}

// A file that cannot be written, from the start or once the disk is full,
// is named with the reason, and both old files stay as they were.
TEST_F(SaveWindowTest, AFailedWriteNamesTheFileAndKeepsBothOldFiles) {
  struct Case {
    const char* what;
    const char* answer;
    const char* failing;
    int error;
    std::function<void()> prepare;  // besides an old study.png and study.csv
  };
  const QString png = dir.filePath("study.png"), csv = dir.filePath("study.csv");
  const Case cases[] = {
      {"read-only loop", "study.png", "study.csv", EACCES,
       [&] { QFile::setPermissions(csv, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther); }},
      {"picture name taken by a folder", "study.png", "study.png", EISDIR,
       [&] { QFile::remove(png), QDir().mkdir(png); }},
      {"disk full under the loop", "study.png", "study.csv", ENOSPC,
       [&] { QFile::remove(csv), QFile::link("/dev/full", csv); }},
      {"disk full under the picture", "study.png", "study.png", ENOSPC,
       [&] { QFile::remove(png), QFile::link("/dev/full", png); }},
      {"missing folder", "missing/study.png", "missing/study.png", ENOENT, [] {}},
      {"loop linked to the picture", "study.png", "study.csv", 0, [&] { QFile::remove(csv), QFile::link(png, csv); }},
  };
  replace = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveAll();
    Put("study.png", "old picture");
    Put("study.csv", "old loop");
    c.prepare();
    const auto before = Entries();
    errors.clear();
    PressCtrlS(c.answer);
    const std::string reason = c.error ? std::strerror(c.error) : "it is the picture's own file";
    EXPECT_EQ(errors, std::vector<std::string>{"Cannot write '" + dir.filePath(c.failing).toStdString() + "': " + reason});
    EXPECT_EQ(Entries(), before);
  }
}

TEST_F(WindowTest, ReplaceQuestionNamesTheFilesAndDefaultsToNo) {
  struct Case {
    QStringList existing;
    QString text;
  };
  const Case cases[] = {
      {{"/data/study.csv"}, "study.csv already exists.\nDo you want to replace it?"},
      {{"/data/study.png", "/data/study.csv"}, "study.png and study.csv already exist.\nDo you want to replace them?"},
  };
  for (const Case& c : cases) {
    QString text;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      text = box->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(TForm1::AskToReplace(form.get(), c.existing));
    EXPECT_EQ(text.toStdString(), c.text.toStdString());
  }
}

}  // namespace
