// Saves a picture of the window as it first appears (for the README).
// Usage: screenshot <file.png>

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>

#include "app/code_KVORAL_QVTR_03_100.h"
#include "app/window_setup.h"

using namespace ebsim;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file.png>\n", argv[0]);
    return 2;
  }
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
  TForm1 form;
  form.show();
  form.Button1->setFocus();
  QApplication::processEvents();
  return form.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
