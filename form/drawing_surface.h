#pragma once
// What the runs may do to the window: a small canvas over the client area,
// the refresh of a panel or read-out, and the progress bar. Pictures go
// through nothing else, so the window, the headless command and the tests
// all drive the same drawing code.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>

#include "form/colors.h"
#include "form/controls.h"
#include "form/panel_geometry.h"
#include "model/physics_names.h"

namespace ebsim {

class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  // Following fills and text backgrounds use this colour.
  virtual void SetBrushColor(Color color) = 0;
  // Pixels with left <= x < right and top <= y < bottom.
  virtual void FillRect(int left, int top, int right, int bottom) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // Black 1-pixel line from the current position to (x, y), end pixel
  // excluded; (x, y) becomes the current position.
  virtual void LineTo(int x, int y) = 0;
  // Text in the window font, top-left corner at (x, y), on the brush colour;
  // the current position moves to the end of the text.
  virtual void TextOut(int x, int y, std::string_view text) = 0;
  virtual void SetPixel(int x, int y, Color color) = 0;
  // Repaints a panel at once from its own pen and brush, erasing what was
  // drawn inside its rectangle.
  virtual void Refresh(Panel panel) = 0;
  // Repaints the read-out of a quantity at once.
  virtual void Refresh(Quantity quantity) = 0;
  virtual void SetProgressMin(int value) = 0;
  virtual void SetProgressMax(int value) = 0;
  // A position outside [min, max] shows as the nearer end.
  virtual void SetProgressPosition(int value) = 0;
};

// A computed pixel position as the surface takes it; positions far off the
// canvas all stay far off it.
inline int PixelCoordinate(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN / 2, INT_MAX / 2));
}

// Draws nothing: for runs without a picture.
class NullSurface;
// A surface that draws nothing, shared.
NullSurface& NoDrawing();

// Fills site (i, j)'s square of the panel at `origin` with the brush.
void FillSiteSquare(DrawingSurface& surface, PanelOrigin origin, int i, int j);

class NullSurface final : public DrawingSurface {
 public:
  void SetBrushColor(Color) override {}
  void FillRect(int, int, int, int) override {}
  void MoveTo(int, int) override {}
  void LineTo(int, int) override {}
  void TextOut(int, int, std::string_view) override {}
  void SetPixel(int, int, Color) override {}
  void Refresh(Panel) override {}
  void Refresh(Quantity) override {}
  void SetProgressMin(int) override {}
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
};

}  // namespace ebsim
