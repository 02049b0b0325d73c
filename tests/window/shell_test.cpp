// The shell around the runs: the error report and the way out.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "form/application_title.h"
#include "tests/window/window_fixture.h"

using namespace ebsim;

TEST_F(WindowTest, ErrorBoxShowsTitleMessageWithStopAndStopIcon) {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  });
  TForm1::ShowErrorBox(form.get(), "'abc' is not a valid floating point value");
  EXPECT_EQ(title.toStdString(), TitleFromProgramPath(QCoreApplication::applicationFilePath().toStdString()));
  EXPECT_EQ(text, "'abc' is not a valid floating point value.");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, 1);
}

TEST_F(WindowTest, ExitEndsTheProgramWithCodeZero) {
  QTimer::singleShot(0, [this] { QTest::mouseClick(form->Button4, Qt::LeftButton); });
  EXPECT_EQ(QApplication::exec(), 0);
}
