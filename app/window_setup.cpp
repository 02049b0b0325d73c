#include "app/window_setup.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include "app/code_KVORAL_QVTR_03_100.h"
#include "form/field_numbers.h"
#include "app/window_fonts.h"

namespace ebsim {

void DisableLayoutScaling() {
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qunsetenv("QT_SCALE_FACTOR");
  qunsetenv("QT_SCREEN_SCALE_FACTORS");
}

void PrepareApplication() {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  RegisterWindowFonts();
  // Where the package is installed, the window is its desktop entry's and
  // shows the icon the simulator drew (packaging/); elsewhere neither is found.
  QGuiApplication::setDesktopFileName(QStringLiteral("exchange-bias-rfim"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("exchange-bias-rfim")));
}

}  // namespace ebsim
