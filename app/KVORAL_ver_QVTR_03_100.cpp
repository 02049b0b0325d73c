// Exchange bias in the two-dimensional random-field Ising model: the
// program's entry. No arguments, no files; the window is the interface.

#include <QApplication>

#include "app/code_KVORAL_QVTR_03_100.h"
#include "app/window_setup.h"

using namespace ebsim;

int main(int argc, char** argv) {
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
  Form1 = new TForm1;
  Form1->show();
  QApplication::exec();
  delete Form1;
  Form1 = nullptr;
  return 0;
}
