#pragma once
// A stand-in for the window in the run tests: input texts from a map, and
// one log of everything a run reads, writes and draws, in the order it
// happened.

#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/control_names.h"
#include "base/errors.h"
#include "form/form_fields.h"
#include "form/panel_geometry.h"
#include "model/lattice_state.h"
#include "model/random_numbers.h"

namespace ebsim {

class FakeWindow final : public FieldTexts, public ReadoutFields, public DrawingSurface {
 public:
  enum class Kind { Read, Brush, Fill, RefreshPanel, RefreshReadout, ReadoutValue, ReadoutText, Other };
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

  // The window's default texts.
  std::map<Input, std::string> texts = {
      {Input::Side, "20"}, {Input::Dilution, "0.04"}, {Input::Enhancement, "10"}, {Input::FieldSd, "2"},
      {Input::H0, "3"},    {Input::Hmin, "-3"},       {Input::Steps, "300"},
  };
  mutable std::vector<Event> log;

  FormPort Port() { return FormPort{*this, *this, this}; }

  std::string Text(Input field) const override {
    log.push_back({.kind = Kind::Read, .field = field});
    return texts.at(field);
  }
  DecimalSeparator Separator() const override { return {}; }
  void SetReadout(Quantity field, const ReadoutValue& shown) override {
    if (shown.value) log.push_back({.kind = Kind::ReadoutValue, .readout = field, .value = *shown.value});
    log.push_back({.kind = Kind::ReadoutText, .readout = field, .text = shown.text});
  }

  void SetBrushColor(Color color) override {
    brush_ = color;
    log.push_back({.kind = Kind::Brush, .color = color});
  }
  void FillRect(int left, int top, int right, int bottom) override {
    log.push_back({.kind = Kind::Fill, .color = brush_, .left = left, .top = top, .right = right, .bottom = bottom});
  }
  void MoveTo(int, int) override { log.push_back({.kind = Kind::Other}); }
  void LineTo(int, int) override { log.push_back({.kind = Kind::Other}); }
  void TextOut(int, int, std::string_view) override { log.push_back({.kind = Kind::Other}); }
  void SetPixel(int, int, Color) override { log.push_back({.kind = Kind::Other}); }
  void Refresh(Panel panel) override { log.push_back({.kind = Kind::RefreshPanel, .panel = panel}); }
  void Refresh(Quantity field) override { log.push_back({.kind = Kind::RefreshReadout, .readout = field}); }
  void SetProgressMin(int) override { log.push_back({.kind = Kind::Other}); }
  void SetProgressMax(int) override { log.push_back({.kind = Kind::Other}); }
  void SetProgressPosition(int) override { log.push_back({.kind = Kind::Other}); }

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

  // The log as short words: "read:Edit5", "refresh:Shape1", "white",
  // "X(1,2)" (a square of the exchange panel; E energy, Q random field,
  // S spin), "readout:MaskEdit10", "value", "text:0.666".
  std::string Trace() const {
    std::ostringstream out;
    for (const Event& e : log) {
      if (out.tellp() > 0) out << ' ';
      switch (e.kind) {
        case Kind::Read: out << "read:" << FieldName(e.field); break;
        case Kind::Brush: out << ColorName(e.color); break;
        case Kind::Fill: out << FillName(e); break;
        case Kind::RefreshPanel: out << "refresh:Shape" << PanelNumber(e.panel); break;
        case Kind::RefreshReadout: out << "readout:" << ReadoutFieldName(e.readout); break;
        case Kind::ReadoutValue: out << "value"; break;
        case Kind::ReadoutText: out << "text:" << e.text; break;
        case Kind::Other: out << "other"; break;
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


  static int PanelNumber(Panel p) {
    switch (p) {
      case Panel::Shape1: return 1;
      case Panel::Shape2: return 2;
      case Panel::Shape3: return 3;
      case Panel::Shape4: return 4;
      case Panel::Shape22: return 22;
    }
    return 0;
  }


  Color brush_ = clWhite;
};

// The window, the lattice and the generator of one test.
struct RunRig {
  FakeWindow window;
  std::unique_ptr<LatticeState> lattice = std::make_unique<LatticeState>();
  RandomNumbers random;

  // The message of the error the call raised, or "" when it ran through.
  template <class Call>
  static std::string ErrorOf(Call&& call) {
    try {
      call();
    } catch (const Exception& error) {
      return error.Message();
    }
    return "";
  }
};

}  // namespace ebsim
