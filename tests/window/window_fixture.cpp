#include "tests/window/window_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include "form/field_numbers.h"

using namespace ebsim;

void WindowTest::SetUp() {
  form = std::make_unique<TForm1>(DecimalSeparator(U'.'));
  form->SetErrorReport([this](const std::string& message) { errors.push_back(message); });
  form->show();
  QApplication::processEvents();
}

void WindowTest::TearDown() {
  form.reset();
}

void WindowTest::Set(InputField field, const char* text) { form->Edit(field)->setText(text); }

void WindowTest::Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

QImage WindowTest::Grab() {
  QApplication::processEvents();
  return form->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb WindowTest::Rgb(Color color) { return 0xFF000000u | ToRgb(ResolveColor(color)); }
