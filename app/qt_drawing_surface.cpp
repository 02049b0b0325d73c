#include "app/qt_drawing_surface.h"

#include <QFontMetrics>
#include <QPainter>
#include <QProgressBar>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

namespace ebsim {

namespace {

QRgb Opaque(Color color) { return 0xFF000000u | ToRgb(ResolveColor(color)); }

}  // namespace

QtDrawingSurface::QtDrawingSurface(Targets targets) : t_(std::move(targets)) {}

void QtDrawingSurface::SetBrushColor(Color color) { brush_ = color; }

void QtDrawingSurface::FillRect(int left, int top, int right, int bottom) {
  const QRect area = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & t_.layer->rect();
  if (area.isEmpty()) return;
  const QRgb rgb = Opaque(brush_);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(t_.layer->scanLine(y));
    std::fill(line + area.left(), line + area.right() + 1, rgb);
  }
  Touch(area);
}

void QtDrawingSurface::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
}

void QtDrawingSurface::LineTo(int x, int y) {
  // Bresenham from the current position, stopping short of the end point.
  const QRgb rgb = Opaque(clBlack);
  int cx = penX_, cy = penY_;
  const int dx = std::abs(x - cx), dy = -std::abs(y - cy);
  const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
  int err = dx + dy;
  while (cx != x || cy != y) {
    Plot(cx, cy, rgb);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      cx += sx;
    }
    if (e2 <= dx) {
      err += dx;
      cy += sy;
    }
  }
  Touch(QRect(QPoint(std::min(penX_, x), std::min(penY_, y)), QPoint(std::max(penX_, x), std::max(penY_, y))));
  penX_ = x;
  penY_ = y;
}

void QtDrawingSurface::TextOut(int x, int y, std::string_view text) {
  const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QFontMetrics metrics(t_.font);
  const QRect box(x, y, metrics.horizontalAdvance(s), metrics.height());
  QPainter painter(t_.layer);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(box, QColor::fromRgb(Opaque(brush_)));
  painter.setFont(t_.font);
  painter.setPen(QColor::fromRgb(Opaque(clWindowText)));
  painter.drawText(x, y + metrics.ascent(), s);
  painter.end();
  Touch(box);
  penX_ = x + box.width();
  penY_ = y;
}

void QtDrawingSurface::SetPixel(int x, int y, Color color) {
  Plot(x, y, Opaque(color));
  Touch(QRect(x, y, 1, 1));
}

void QtDrawingSurface::Refresh(Panel panel) {
  const QRect area = t_.panelRect(panel) & t_.layer->rect();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(t_.layer->scanLine(y));
    std::fill(line + area.left(), line + area.right() + 1, QRgb{0});
  }
  t_.canvas->repaint(area);
}

void QtDrawingSurface::Refresh(Quantity quantity) { t_.readoutWidget(quantity)->repaint(); }

void QtDrawingSurface::SetProgressMin(int value) { t_.progress->setMinimum(value); }

void QtDrawingSurface::SetProgressMax(int value) { t_.progress->setMaximum(value); }

void QtDrawingSurface::SetProgressPosition(int value) {
  t_.progress->setValue(std::clamp(value, t_.progress->minimum(), t_.progress->maximum()));
}

void QtDrawingSurface::Flush() {
  if (dirty_.isEmpty()) return;
  t_.canvas->update(dirty_);
  dirty_ = QRect();
}

void QtDrawingSurface::Plot(int x, int y, QRgb rgb) {
  if (!t_.layer->rect().contains(x, y)) return;
  reinterpret_cast<QRgb*>(t_.layer->scanLine(y))[x] = rgb;
}

void QtDrawingSurface::Touch(const QRect& rect) { dirty_ |= rect; }

}  // namespace ebsim
