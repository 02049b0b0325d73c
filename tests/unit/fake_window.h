#pragma once
// A stand-in for the window in the tests of the runs: input texts from a
// map; one ordered log of everything a run reads, writes and draws; a pixel
// canvas the size of the client area that takes lines, fills, pixels and
// panel refreshes as the real surface does; the texts written on it, the
// progress bar's requests and the read-outs (text and number).

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "form/form_fields.h"
#include "form/form_layout.h"
#include "form/panel_geometry.h"
#include "model/lattice_state.h"
#include "model/random_numbers.h"
#include "tests/unit/control_names.h"

namespace ebsim {

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

class FakeWindow final : public FieldTexts, public ReadoutFields, public DrawingSurface {
 public:
  enum class Kind {
    Read, Brush, Fill, Move, Line, Text, Pixel, RefreshPanel, RefreshReadout, ReadoutValue, ReadoutText, Range,
    Progress
  };
  struct Event {
    Kind kind;
    Input field{};
    Color color = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    Panel panel{};
    Quantity readout{};
    long double value = 0;
    std::string text{};
  };
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
  mutable std::vector<Event> log;
  std::vector<Line> lines;
  std::vector<Text> textsOut;
  std::vector<int> progress;  // every position asked for, in order
  int progressMin = -1, progressMax = -1;
  std::map<Quantity, ReadoutState> readouts;

  FakeWindow() : pixels_(static_cast<std::size_t>(kClientWidth) * kClientHeight, kBare) {}

  FormPort Port() { return FormPort{*this, *this, this}; }

  // FieldTexts
  std::string Text(Input field) const override {
    log.push_back({.kind = Kind::Read, .field = field});
    return texts.at(field);
  }
  DecimalSeparator Separator() const override { return {}; }

  // ReadoutFields
  void SetReadout(Quantity field, const ReadoutValue& shown) override {
    if (shown.value) log.push_back({.kind = Kind::ReadoutValue, .readout = field, .value = *shown.value});
    log.push_back({.kind = Kind::ReadoutText, .readout = field, .text = shown.text});
    readouts[field] = {shown.text, shown.value};
  }
  const ReadoutState& Of(Quantity field) { return readouts[field]; }

  // DrawingSurface
  void SetBrushColor(Color color) override {
    brush_ = color;
    log.push_back({.kind = Kind::Brush, .color = color});
  }
  void FillRect(int left, int top, int right, int bottom) override {
    log.push_back({.kind = Kind::Fill, .color = brush_, .left = left, .top = top, .right = right, .bottom = bottom});
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) Plot(x, y, brush_);
  }
  void MoveTo(int x, int y) override {
    log.push_back({.kind = Kind::Move});
    penX_ = x;
    penY_ = y;
  }
  void LineTo(int x, int y) override {
    log.push_back({.kind = Kind::Line});
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
    log.push_back({.kind = Kind::Text});
    textsOut.push_back({x, y, std::string(text), brush_});
  }
  void SetPixel(int x, int y, Color color) override {
    log.push_back({.kind = Kind::Pixel});
    Plot(x, y, color);
  }
  void Refresh(Panel panel) override {
    log.push_back({.kind = Kind::RefreshPanel, .panel = panel});
    const ShapeLayout& shape = PanelShape(panel);
    for (int y = shape.top; y < shape.top + shape.height; ++y)
      for (int x = shape.left; x < shape.left + shape.width; ++x) Plot(x, y, kBare);
  }
  void Refresh(Quantity field) override { log.push_back({.kind = Kind::RefreshReadout, .readout = field}); }
  void SetProgressMin(int value) override {
    log.push_back({.kind = Kind::Range});
    progressMin = value;
  }
  void SetProgressMax(int value) override {
    log.push_back({.kind = Kind::Range});
    progressMax = value;
  }
  void SetProgressPosition(int value) override {
    log.push_back({.kind = Kind::Progress});
    progress.push_back(value);
  }

  // The canvas.
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
  int Slanted() const { return slanted_; }
  // The log, the lines, the texts and the bar's positions forgotten; the
  // canvas and the read-outs stay.
  void Forget() {
    log.clear();
    lines.clear();
    textsOut.clear();
    progress.clear();
  }

  // The log as words of the Run's: "read:Edit5", "refresh:Shape4", "line",
  // "text", "fill", "pixel", "refresh:MaskEdit3", "readout:MaskEdit3" (a
  // read-out written), "range", "progress"; brushes and pen moves left out.
  std::vector<std::string> Words() const {
    std::vector<std::string> words;
    for (const Event& e : log) {
      switch (e.kind) {
        case Kind::Read: words.push_back("read:" + FieldName(e.field)); break;
        case Kind::Fill: words.emplace_back("fill"); break;
        case Kind::Line: words.emplace_back("line"); break;
        case Kind::Text: words.emplace_back("text"); break;
        case Kind::Pixel: words.emplace_back("pixel"); break;
        case Kind::RefreshPanel: words.push_back("refresh:" + std::string(PanelShape(e.panel).name)); break;
        case Kind::RefreshReadout: words.push_back("refresh:" + ReadoutFieldName(e.readout)); break;
        case Kind::ReadoutText: words.push_back("readout:" + ReadoutFieldName(e.readout)); break;
        case Kind::Range: words.emplace_back("range"); break;
        case Kind::Progress: words.emplace_back("progress"); break;
        case Kind::Brush:
        case Kind::Move:
        case Kind::ReadoutValue: break;
      }
    }
    return words;
  }
  int Count(std::string_view word) const {
    int n = 0;
    for (const std::string& w : Words()) n += w == word;
    return n;
  }
  // Index in Words() of the first / last word equal to word, or -1.
  int First(std::string_view word) const {
    const std::vector<std::string> words = Words();
    for (std::size_t k = 0; k < words.size(); ++k)
      if (words[k] == word) return static_cast<int>(k);
    return -1;
  }
  int Last(std::string_view word) const {
    const std::vector<std::string> words = Words();
    for (std::size_t k = words.size(); k-- > 0;)
      if (words[k] == word) return static_cast<int>(k);
    return -1;
  }

  // Colour of every site square of the panel as the fills left it (the
  // later fill wins), keyed by (i, j).
  std::map<std::pair<int, int>, Color> Squares(PanelOrigin origin) const {
    std::map<std::pair<int, int>, Color> squares;
    for (const Event& e : log) {
      if (const auto cell = SquareCell(e, origin)) squares[*cell] = e.color;
    }
    return squares;
  }

  // Fills that are no site square of any map panel.
  int StrayFills() const {
    int stray = 0;
    for (const Event& e : log) {
      if (e.kind != Kind::Fill) continue;
      bool square = false;
      for (PanelOrigin origin : {kExchangePanel, kRandomFieldPanel, kEnergyPanel, kSpinPanel})
        square = square || SquareCell(e, origin).has_value();
      stray += square ? 0 : 1;
    }
    return stray;
  }

  int Count(Kind kind) const {
    int n = 0;
    for (const Event& e : log) n += e.kind == kind ? 1 : 0;
    return n;
  }
  int Reads(Input field) const {
    int n = 0;
    for (const Event& e : log) n += e.kind == Kind::Read && e.field == field ? 1 : 0;
    return n;
  }

  // The log as the set-up's words: "read:Edit5", "refresh:Shape1", "white"
  // (a brush), "X(1,2)" (a square of the exchange panel; E energy, Q random
  // field, S spin), "readout:MaskEdit10" (a read-out refreshed), "value",
  // "text:0.666"; "other" for the rest.
  std::string Trace() const {
    std::ostringstream out;
    for (const Event& e : log) {
      if (out.tellp() > 0) out << ' ';
      switch (e.kind) {
        case Kind::Read: out << "read:" << FieldName(e.field); break;
        case Kind::Brush: out << ColorName(e.color); break;
        case Kind::Fill: out << FillName(e); break;
        case Kind::RefreshPanel: out << "refresh:" << PanelShape(e.panel).name; break;
        case Kind::RefreshReadout: out << "readout:" << ReadoutFieldName(e.readout); break;
        case Kind::ReadoutValue: out << "value"; break;
        case Kind::ReadoutText: out << "text:" << e.text; break;
        default: out << "other"; break;
      }
    }
    return out.str();
  }

  static std::string ColorName(Color c) {
    static const std::map<Color, std::string> names = {
        {clBlack, "black"}, {clWhite, "white"},   {clRed, "red"},         {clLime, "lime"},
        {clYellow, "yellow"}, {clGreen, "green"}, {clBlue, "blue"},       {clAqua, "aqua"},
        {clFuchsia, "fuchsia"}, {clPurple, "purple"},
    };
    const auto it = names.find(c);
    return it != names.end() ? it->second : "colour" + std::to_string(c);
  }

 private:
  static std::size_t Index(int x, int y) {
    return static_cast<std::size_t>(y) * kClientWidth + static_cast<std::size_t>(x);
  }
  void Plot(int x, int y, Color c) {
    if (x < 0 || y < 0 || x >= kClientWidth || y >= kClientHeight) return;
    pixels_[Index(x, y)] = c;
  }

  static std::optional<std::pair<int, int>> SquareCell(const Event& e, PanelOrigin origin) {
    if (e.kind != Kind::Fill) return std::nullopt;
    const int dx = e.left - origin.x, dy = e.top - origin.y;
    if (dx % 4 != 0 || dy % 4 != 0) return std::nullopt;
    const int i = dx / 4, j = dy / 4;
    if (i < 1 || j < 1 || i > kShownSide || j > kShownSide) return std::nullopt;
    const SiteSquare s = SiteSquareAt(origin.x, origin.y, i, j);
    if (e.right != s.right || e.bottom != s.bottom) return std::nullopt;
    return std::pair{i, j};
  }

  static std::string FillName(const Event& e) {
    const std::pair<PanelOrigin, char> panels[] = {
        {kExchangePanel, 'X'}, {kEnergyPanel, 'E'}, {kRandomFieldPanel, 'Q'}, {kSpinPanel, 'S'}};
    for (const auto& [origin, letter] : panels) {
      if (const auto cell = SquareCell(e, origin))
        return std::string(1, letter) + "(" + std::to_string(cell->first) + "," + std::to_string(cell->second) + ")";
    }
    return "fill(" + std::to_string(e.left) + "," + std::to_string(e.top) + "," + std::to_string(e.right) + "," +
           std::to_string(e.bottom) + ")";
  }

  std::vector<Color> pixels_;
  Color brush_ = clWhite;
  int penX_ = 0, penY_ = 0;
  int slanted_ = 0;
};

// The window, the lattice and the generator of one test.
struct RunRig {
  FakeWindow window;
  std::unique_ptr<LatticeState> lattice = std::make_unique<LatticeState>();
  RandomNumbers random;

  template <class Call>
  static std::string ErrorOf(Call&& call) {
    return ErrorMessageOf(std::forward<Call>(call));
  }
};

}  // namespace ebsim
