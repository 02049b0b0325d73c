#pragma once
// The faces the window's text is drawn in. The layout names faces that
// Linux does not have; we use the metric-compatible faces from Debian's
// fonts-wine package, registered with the application at start.

#include <QFont>

#include "form/form_layout.h"

namespace ebsim {

// Registers the installed faces; call once after the application object
// exists. Returns false when they are missing (text then falls back to the
// system's sans-serif face).
bool RegisterWindowFonts();

QFont FontFor(FontRole role);

}  // namespace ebsim
