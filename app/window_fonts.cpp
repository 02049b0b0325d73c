#include "app/window_fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace ebsim {

namespace {

const char* const kFontDir = "/usr/share/wine/fonts/";

QFont Make(const char* family, int pixelSize, bool bold) {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  // Crisp, unsmoothed glyphs: the same pixels on every machine.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

}  // namespace

bool RegisterWindowFonts() {
  bool all = true;
  for (const char* file : {"ms_sans_serif.ttf", "tahoma.ttf", "tahomabd.ttf"})
    all = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontDir) + QString::fromLatin1(file)) >= 0 && all;
  return all;
}

QFont FontFor(FontRole role) {
  switch (role) {
    // The bitmap face's 13-pixel strike: 11-pixel characters plus 2 pixels
    // of internal leading.
    case FontRole::Window: return Make("MS Sans Serif", 13, false);
    // The bitmap face has no bold strike and is not emboldened: its bold
    // text uses the outline face of the same metrics.
    case FontRole::WindowBold: return Make("Tahoma", 11, true);
    case FontRole::Title: return Make("Tahoma", 13, true);
    // No strike of the bitmap face comes in this size.
    case FontRole::LargeButton: return Make("Tahoma", 15, false);
  }
  return Make("MS Sans Serif", 13, false);
}

}  // namespace ebsim
