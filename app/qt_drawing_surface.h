#pragma once
// The drawing surface on a Qt window: everything the runs draw goes into a
// retained layer that the window composites over its panels, so a platform
// repaint shows it again. Only a panel's refresh erases it.

#include <QFont>
#include <QImage>
#include <QRect>
#include <functional>

#include "form/drawing_surface.h"

class QProgressBar;
class QWidget;

namespace ebsim {

class QtDrawingSurface final : public DrawingSurface {
 public:
  struct Targets {
    QImage* layer = nullptr;           // client-area sized, ARGB
    QWidget* canvas = nullptr;         // the widget that shows the layer
    QFont font;                        // the window font
    std::function<QRect(Panel)> panelRect;
    std::function<QWidget*(Quantity)> readoutWidget;
    QProgressBar* progress = nullptr;
  };

  explicit QtDrawingSurface(Targets targets);

  void SetBrushColor(Color color) override;
  void FillRect(int left, int top, int right, int bottom) override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void TextOut(int x, int y, std::string_view text) override;
  void SetPixel(int x, int y, Color color) override;
  void Refresh(Panel panel) override;
  void Refresh(Quantity quantity) override;
  void SetProgressMin(int value) override;
  void SetProgressMax(int value) override;
  void SetProgressPosition(int value) override;

  // Asks the canvas to show what was drawn since the last call.
  void Flush();
  // The region drawn since the last flush (empty when nothing was).
  QRect Dirty() const { return dirty_; }

 private:
  void Plot(int x, int y, QRgb rgb);
  void Touch(const QRect& rect);

  Targets t_;
  Color brush_ = clWhite;
  int penX_ = 0, penY_ = 0;
  QRect dirty_;
};

}  // namespace ebsim
