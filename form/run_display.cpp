#include "form/run_display.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/float_checks.h"
#include "form/field_numbers.h"
#include "form/panel_geometry.h"

namespace ebsim {

void ClearSpinPanel(DrawingSurface& surface) { surface.Refresh(Panel::Shape4); }

void DrawSpinSquare(DrawingSurface& surface, const LatticeState& lattice, int i, int j) {
  if (!IsShown(i, j)) return;
  const double spin = lattice.SpinMap(i, j);
  if (spin != 1.0 && spin != -1.0) return;
  surface.SetBrushColor(spin == 1.0 ? clBlack : clYellow);
  const SiteSquare s = SiteSquareAt(kSpinPanel.x, kSpinPanel.y, i, j);
  surface.FillRect(s.left, s.top, s.right, s.bottom);
}

void PlotLoopPoint(DrawingSurface& surface, const LoopScale& scale, double H, double M) {
  surface.SetPixel(PixelCoordinate(PlotX(scale, H)), PixelCoordinate(PlotY(M)), clBlack);
}

void SetRunProgressRange(DrawingSurface& surface) {
  surface.SetProgressMin(0);
  surface.SetProgressMax(100);
}

void SetRunProgress(const FormPort& port, Branch branch, double hAfter) {
  const long double h0 = ReadRealField(port.fields, Input::H0);
  const long double hmin = ReadRealField(port.fields, Input::Hmin);
  const long double span = Checked(h0 + std::fabs(hmin));
  const long double position =
      branch == Branch::Descending ? Checked(Divide(Checked(h0 - hAfter), span) * 50)
                                   : Checked(Checked(Divide(Checked(hAfter - hmin), span) * 50) + 50);
  port.Drawing().SetProgressPosition(
      static_cast<int>(std::clamp<std::int64_t>(RoundToInt64(position), INT_MIN, INT_MAX)));
}

}  // namespace ebsim
