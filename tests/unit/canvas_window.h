#pragma once
// A stand-in for the window in the Run tests: input texts from a map, a
// pixel canvas the size of the client area that takes lines, fills, pixels
// and panel refreshes as the real surface does, the texts written on it,
// the progress bar's requests, the read-outs (text and number), and one
// ordered log of short words for checking what happened before what.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/unit/control_names.h"
#include "base/errors.h"
#include "form/form_fields.h"
#include "form/form_layout.h"

namespace ebsim {

class CanvasWindow final : public FieldTexts, public ReadoutFields, public DrawingSurface {
 public:
  // A pixel nothing has been drawn on (no colour has these high bits).
  static constexpr Color kBare = 0xFFFFFFFFu;

  struct Line {
    int x0, y0, x1, y1;  // from, to (the end pixel excluded)
  };
  struct Text {
    int x, y;
    std::string text;
    Color brush;
  };
  struct ReadoutState {
    std::string text = "     ";
    std::optional<long double> value;
  };

  // The window's default texts.
  std::map<Input, std::string> texts = {
      {Input::Side, "20"}, {Input::Dilution, "0.04"}, {Input::Enhancement, "10"}, {Input::FieldSd, "2"},
      {Input::H0, "3"},    {Input::Hmin, "-3"},       {Input::Steps, "300"},
  };

  std::vector<Line> lines;
  std::vector<Text> textsOut;
  std::vector<int> progress;  // every position asked for, in order
  int progressMin = -1, progressMax = -1;
  std::map<Quantity, ReadoutState> readouts;
  // "read:Edit5", "refresh:Shape4", "line", "text", "fill", "pixel",
  // "refresh:MaskEdit3", "readout:MaskEdit3", "range", "progress".
  mutable std::vector<std::string> log;

  CanvasWindow() : pixels_(static_cast<std::size_t>(kClientWidth) * kClientHeight, kBare) {}

  FormPort Port() { return FormPort{*this, *this, this}; }

  Color Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= kClientWidth || y >= kClientHeight) return kBare;
    return pixels_[Index(x, y)];
  }
  // Pixels drawn (in any colour) inside the rectangle left..right x
  // top..bottom, both ends included.
  int DrawnIn(int left, int top, int right, int bottom) const {
    int count = 0;
    for (int y = top; y <= bottom; ++y)
      for (int x = left; x <= right; ++x) count += Pixel(x, y) != kBare;
    return count;
  }
  int Count(std::string_view word) const {
    int n = 0;
    for (const std::string& w : log) n += w == word;
    return n;
  }
  // Index in the log of the first / last entry equal to word, or -1.
  int First(std::string_view word) const {
    for (std::size_t k = 0; k < log.size(); ++k)
      if (log[k] == word) return static_cast<int>(k);
    return -1;
  }
  int Last(std::string_view word) const {
    for (std::size_t k = log.size(); k-- > 0;)
      if (log[k] == word) return static_cast<int>(k);
    return -1;
  }
  void Forget() {
    log.clear();
    lines.clear();
    textsOut.clear();
    progress.clear();
  }

  // FieldTexts
  std::string Text(Input field) const override {
    log.push_back("read:" + FieldName(field));
    return texts.at(field);
  }

  DecimalSeparator Separator() const override { return {}; }

  // ReadoutFields
  void SetReadout(Quantity field, const ReadoutValue& shown) override {
    log.push_back("readout:" + ReadoutFieldName(field));
    ReadoutState& state = readouts[field];
    state.text = shown.text;
    state.value = shown.value;
  }
  const ReadoutState& Of(Quantity field) { return readouts[field]; }

  // DrawingSurface
  void SetBrushColor(Color color) override { brush_ = color; }
  void FillRect(int left, int top, int right, int bottom) override {
    log.emplace_back("fill");
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) Plot(x, y, brush_);
  }
  void MoveTo(int x, int y) override {
    penX_ = x;
    penY_ = y;
  }
  void LineTo(int x, int y) override {
    log.emplace_back("line");
    lines.push_back({penX_, penY_, x, y});
    // Only straight lines are drawn in this program; a slanted one would
    // show up as a failed expectation on its pixels.
    int cx = penX_, cy = penY_;
    const int sx = x > cx ? 1 : x < cx ? -1 : 0, sy = y > cy ? 1 : y < cy ? -1 : 0;
    if (sx != 0 && sy != 0) ++slanted_;
    while ((cx != x || cy != y) && (sx == 0 || sy == 0)) {
      Plot(cx, cy, clBlack);
      cx += sx;
      cy += sy;
    }
    penX_ = x;
    penY_ = y;
  }
  void TextOut(int x, int y, std::string_view text) override {
    log.emplace_back("text");
    textsOut.push_back({x, y, std::string(text), brush_});
  }
  void SetPixel(int x, int y, Color color) override {
    log.emplace_back("pixel");
    Plot(x, y, color);
  }
  void Refresh(Panel panel) override {
    const ShapeLayout& shape = PanelShape(panel);
    log.push_back("refresh:" + std::string(shape.name));
    for (int y = shape.top; y < shape.top + shape.height; ++y)
      for (int x = shape.left; x < shape.left + shape.width; ++x) Plot(x, y, kBare);
  }
  void Refresh(Quantity field) override { log.push_back("refresh:" + ReadoutFieldName(field)); }
  void SetProgressMin(int value) override {
    log.emplace_back("range");
    progressMin = value;
  }
  void SetProgressMax(int value) override {
    log.emplace_back("range");
    progressMax = value;
  }
  void SetProgressPosition(int value) override {
    log.emplace_back("progress");
    progress.push_back(value);
  }

  int Slanted() const { return slanted_; }


 private:
  static std::size_t Index(int x, int y) {
    return static_cast<std::size_t>(y) * kClientWidth + static_cast<std::size_t>(x);
  }
  void Plot(int x, int y, Color c) {
    if (x < 0 || y < 0 || x >= kClientWidth || y >= kClientHeight) return;
    pixels_[Index(x, y)] = c;
  }

  std::vector<Color> pixels_;
  std::map<Quantity, long double> pending_;
  Color brush_ = clWhite;
  int penX_ = 0, penY_ = 0;
  int slanted_ = 0;
};

// The message of the error the call raised, or "" when it ran through.
template <class Call>
std::string ErrorMessageOf(Call&& call) {
  try {
    call();
  } catch (const Exception& error) {
    return error.Message();
  }
  return "";
}

}  // namespace ebsim
