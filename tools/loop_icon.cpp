// Draws the program's icon: a hysteresis loop that the simulator computes
// for a fixed lattice and seed, as an SVG
// written as text and as PNGs of the same shapes painted at icon sizes.
// Usage: loop-icon DIR SIZE...  writes DIR/scalable.svg and DIR/SIZE.png
// Paints no text, so it needs no application object and no display.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <charconv>
#include <cstdio>
#include <exception>
#include <sstream>
#include <string>
#include <vector>

#include "base/output_file.h"
#include "form/headless_form.h"
#include "run/simulator.h"

using namespace ebsim;

namespace {

// The icon is drawn on a 256 x 256 grid and scaled to each size.
constexpr double kGrid = 256;
constexpr double kMargin = 28;
constexpr double kCorner = 36;
constexpr double kLoopWidth = 14;
constexpr double kAxisWidth = 5;
constexpr const char* kBackground = "#f3f1e7";
constexpr const char* kFrame = "#4d4d4d";
constexpr const char* kAxis = "#a0a0a0";
constexpr const char* kDescending = "#c0392b";
constexpr const char* kAscending = "#1d5fb8";

struct IconLoop {
  QPolygonF descending, ascending;
};

// A loop wide enough to read at 32 pixels: fields to +-6 in 120 steps.
constexpr double kFieldEnd = 6;

IconLoop ComputeLoop() {
  HeadlessFields fields;
  fields.Set(Input::Side, "100");
  fields.Set(Input::Dilution, "0.08");
  fields.Set(Input::Enhancement, "4");
  fields.Set(Input::H0, "6");
  fields.Set(Input::Hmin, "-6");
  fields.Set(Input::Steps, "120");
  Simulator simulator;
  RunAllOptions options;
  options.keepLoop = true;
  const RunOutcome outcome = simulator.RunAll(fields, 12345678, options);
  if (outcome.error) throw std::runtime_error("the icon's Run failed: " + *outcome.error);
  // H across the grid, M from -1 to 1 up it.
  const double span = kGrid - 2 * kMargin;
  IconLoop loop;
  for (const LoopPoint& p : outcome.loop) {
    const QPointF at(kMargin + (p.H + kFieldEnd) / (2 * kFieldEnd) * span, kGrid / 2 - p.M * span / 2);
    (p.branch == Branch::Descending ? loop.descending : loop.ascending) << at;
  }
  return loop;
}

std::string SvgPoints(const QPolygonF& line) {
  std::ostringstream text;
  text.precision(4);
  for (const QPointF& p : line) text << p.x() << ',' << p.y() << ' ';
  std::string points = text.str();
  if (!points.empty()) points.pop_back();
  return points;
}

void WriteSvg(const IconLoop& loop, const std::string& path) {
  OutputFile file(path);
  std::ostream& out = file.Stream();
  const double mid = kGrid / 2;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
      << "  <rect x=\"4\" y=\"4\" width=\"248\" height=\"248\" rx=\"" << kCorner << "\" fill=\"" << kBackground
      << "\" stroke=\"" << kFrame << "\" stroke-width=\"6\"/>\n"
      << "  <g stroke=\"" << kAxis << "\" stroke-width=\"" << kAxisWidth << "\">\n"
      << "    <line x1=\"" << kMargin << "\" y1=\"" << mid << "\" x2=\"" << kGrid - kMargin << "\" y2=\"" << mid
      << "\"/>\n"
      << "    <line x1=\"" << mid << "\" y1=\"" << kMargin << "\" x2=\"" << mid << "\" y2=\"" << kGrid - kMargin
      << "\"/>\n  </g>\n"
      << "  <g fill=\"none\" stroke-width=\"" << kLoopWidth << "\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n"
      << "    <polyline stroke=\"" << kDescending << "\" points=\"" << SvgPoints(loop.descending) << "\"/>\n"
      << "    <polyline stroke=\"" << kAscending << "\" points=\"" << SvgPoints(loop.ascending) << "\"/>\n"
      << "  </g>\n</svg>\n";
  file.Commit();
}

QImage PaintIcon(const IconLoop& loop, int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / kGrid, size / kGrid);
  painter.setPen(QPen(QColor(kFrame), 6));
  painter.setBrush(QColor(kBackground));
  painter.drawRoundedRect(QRectF(4, 4, 248, 248), kCorner, kCorner);
  const double mid = kGrid / 2;
  painter.setPen(QPen(QColor(kAxis), kAxisWidth));
  painter.drawLine(QPointF(kMargin, mid), QPointF(kGrid - kMargin, mid));
  painter.drawLine(QPointF(mid, kMargin), QPointF(mid, kGrid - kMargin));
  painter.setBrush(Qt::NoBrush);
  const std::pair<const QPolygonF*, const char*> branches[] = {{&loop.descending, kDescending},
                                                               {&loop.ascending, kAscending}};
  for (const auto& [line, color] : branches) {
    painter.setPen(QPen(QColor(color), kLoopWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(*line);
  }
  return image;
}

void WritePng(const QImage& image, const std::string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) throw OutputError("cannot encode '" + path + "' as PNG");
  OutputFile file(path);
  file.Stream().write(bytes.constData(), bytes.size());
  file.Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DIR SIZE...\n", argv[0]);
    return 2;
  }
  try {
    const std::string dir = argv[1];
    const IconLoop loop = ComputeLoop();
    WriteSvg(loop, dir + "/scalable.svg");
    for (int k = 2; k < argc; ++k) {
      const std::string size = argv[k];
      int pixels = 0;
      const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), pixels);
      if (error != std::errc() || end != size.data() + size.size() || pixels < 16 || pixels > 1024) {
        std::fprintf(stderr, "loop-icon: a size is 16 to 1024 pixels: '%s'\n", argv[k]);
        return 2;
      }
      WritePng(PaintIcon(loop, pixels), dir + "/" + size + ".png");
    }
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "loop-icon: %s\n", failure.what());
    return 1;
  }
  return 0;
}
