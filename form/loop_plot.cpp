#include "form/loop_plot.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/float_checks.h"
#include "form/field_numbers.h"

namespace ebsim {

namespace {

// Fixed geometry of the loop panel.
constexpr int kAxisRow = 487;      // field axis, magnetization 0
constexpr int kTickTop = 485;      // field ticks cover rows 485..490
constexpr int kTickEnd = 491;
constexpr int kPanelLeft = 637;
constexpr int kPanelRightEnd = 926;
constexpr int kPanelTop = 343;
constexpr int kPanelBottomEnd = 632;
// Pixels per unit of magnetization, as the extended quotient 144 / 1.2:
// a hair below 120.
const long double kMagnetizationScale = 144.0L / 1.2L;
// The client area: a tick outside it shows nothing.
constexpr std::int64_t kCanvasLeft = 0;
constexpr std::int64_t kCanvasRight = 1005;


void VerticalTick(DrawingSurface& surface, std::int64_t x) {
  surface.MoveTo(PixelCoordinate(x), kTickTop);
  surface.LineTo(PixelCoordinate(x), kTickEnd);
}

__extension__ typedef __int128 Wide;

// Ticks at x0 + step * j for j = 1..count. Each distinct position on the
// canvas is drawn once, which leaves the same pixels as drawing them all,
// in time bounded by the canvas' width however large count is.
void FieldTicks(DrawingSurface& surface, std::int64_t count, long double zeroX, long double scale, int direction) {
  if (count < 1) return;
  const std::int64_t x0 = TruncToInt64(zeroX);
  const std::int64_t step = TruncToInt64(scale) * direction;
  if (step == 0) {
    VerticalTick(surface, x0);
    return;
  }
  // The j that bring x0 + step * j onto the canvas, give or take one for
  // rounding; the exact test below decides.
  const long double a = (static_cast<long double>(kCanvasLeft) - x0) / step;
  const long double b = (static_cast<long double>(kCanvasRight - 1) - x0) / step;
  const long double lo = std::max<long double>(1, std::ceil(std::min(a, b)) - 1);
  const long double hi = std::min<long double>(static_cast<long double>(count), std::floor(std::max(a, b)) + 1);
  for (long double j = lo; j <= hi; ++j) {
    const Wide x = Wide{x0} + Wide{step} * static_cast<std::int64_t>(j);
    if (x >= kCanvasLeft && x < kCanvasRight) VerticalTick(surface, static_cast<std::int64_t>(x));
  }
}

void Label(DrawingSurface& surface, long double x, int y, const char* text) {
  surface.TextOut(PixelCoordinate(TruncToInt64(x)), y, text);
}

}  // namespace

LoopScale DrawLoopFrame(const FormPort& port) {
  DrawingSurface& surface = port.Drawing();
  auto h0 = [&] { return ReadRealField(port.fields, Input::H0); };
  auto hmin = [&] { return ReadRealField(port.fields, Input::Hmin); };

  surface.MoveTo(kPanelLeft, kAxisRow);
  surface.LineTo(kPanelRightEnd, kAxisRow);

  LoopScale scale;
  scale.H0 = h0();
  scale.InitFieldX = StoreDouble(Checked(h0() * Divide(144, h0() + 0.5L)) + 781);
  scale.MinFieldX = StoreDouble(Checked(hmin() * Divide(144, 0.5L - hmin())) + 781);
  scale.FieldScale = StoreDouble(
      Divide(std::fabs(static_cast<long double>(scale.InitFieldX)) - std::fabs(static_cast<long double>(scale.MinFieldX)),
             Checked(std::fabs(h0()) + std::fabs(hmin()))));
  // Zero field's x, formed afresh at every use.
  auto zeroX = [&] { return Checked(scale.InitFieldX - Checked(h0() * scale.FieldScale)); };
  const long double ifx = scale.InitFieldX;
  const long double fs = scale.FieldScale;

  // One tick per whole unit of positive field, one more for a fraction.
  const std::int64_t positive = TruncToInt64(std::fabs(h0())) + (std::trunc(h0()) - h0() != 0 ? 1 : 0);
  FieldTicks(surface, positive, zeroX(), fs, +1);
  surface.SetBrushColor(clWhite);
  Label(surface, Checked(Checked((ifx - 3) - Checked(h0() * fs)) + fs), 495, "1");
  surface.TextOut(913, 469, "H");
  // On the negative side only a fraction of at least one half adds a tick.
  const std::int64_t negative =
      TruncToInt64(std::fabs(hmin())) + (std::fabs(std::trunc(hmin()) - hmin()) >= 0.5L ? 1 : 0);
  FieldTicks(surface, negative, zeroX(), fs, -1);
  Label(surface, Checked(Checked((ifx - 5) - Checked(h0() * fs)) - fs), 495, "-1");

  const int x0 = PixelCoordinate(TruncToInt64(zeroX()));
  surface.MoveTo(x0, kPanelTop);
  surface.LineTo(x0, kPanelBottomEnd);
  for (int j = 1; j <= 4; ++j) {
    const long double d = ((j / 4.0L) * 144) / 1.2L;
    for (const long double row : {kAxisRow - d, d + kAxisRow}) {
      const int y = static_cast<int>(std::trunc(row));
      surface.MoveTo(x0 - 3, y);
      surface.LineTo(x0 + 3, y);
    }
  }
  Label(surface, (ifx - 12) - Checked(h0() * fs), 355, "1");
  Label(surface, (ifx + 10) - Checked(h0() * fs), 351, "M");
  Label(surface, (ifx - 12) - Checked(h0() * fs), 472, "0");
  Label(surface, (ifx - 15) - Checked(h0() * fs), 607, "-1");
  return scale;
}

std::int64_t PlotX(const LoopScale& scale, double H) {
  const long double x = Checked(Checked(scale.InitFieldX - Checked(scale.H0 * scale.FieldScale)) +
                                Checked(static_cast<long double>(H) * scale.FieldScale));
  return TruncToInt64(StoreDouble(x));
}

std::int64_t PlotY(double M) { return TruncToInt64(StoreDouble(kAxisRow - kMagnetizationScale * M)); }

}  // namespace ebsim
