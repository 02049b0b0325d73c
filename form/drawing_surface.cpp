#include "form/drawing_surface.h"

namespace ebsim {

Color ResolveColor(Color color) {
  if ((color & 0xFF000000u) != 0x80000000u) return color & 0x00FFFFFFu;
  switch (color & 0xFFu) {
    case 0x08: return 0x000000;  // window text
    case 0x09: return 0x000000;  // caption text
    case 0x0B: return 0xFCF7F4;  // inactive border
    case 0x0F: return 0xF0F0F0;  // button face
    default: return 0x000000;
  }
}

NullSurface& NoDrawing() {
  static NullSurface nothing;
  return nothing;
}

void FillSiteSquare(DrawingSurface& surface, PanelOrigin origin, int i, int j) {
  const SiteSquare s = SiteSquareAt(origin.x, origin.y, i, j);
  surface.FillRect(s.left, s.top, s.right, s.bottom);
}

}  // namespace ebsim
