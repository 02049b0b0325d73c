// Window tests run headless: the offscreen platform, the program's own
// style, palette and fonts.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/window_setup.h"

using namespace ebsim;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
