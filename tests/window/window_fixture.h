#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <memory>

class QPushButton;

#include "app/code_KVORAL_QVTR_03_100.h"

namespace ebsim {

// A fresh, shown window per test, with errors collected instead of boxed.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void Set(InputField field, const char* text);
  void Click(QPushButton* button);
  // The client area as it is on screen now.
  QImage Grab();
  static QRgb Rgb(Color color);

  std::unique_ptr<TForm1> form;
  std::vector<std::string> errors;
};

}  // namespace ebsim
