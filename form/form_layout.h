#pragma once
// The window's fixed layout: every control with its place, size, text,
// colours, font and tab position, in client-area pixels at 96 dpi.

#include <optional>
#include <span>
#include <string>

#include "form/colors.h"
#include "form/controls.h"

namespace ebsim {

enum class FontRole {
  Window,       // the window font, regular
  WindowBold,   // the window face, bold
  Title,        // the panel titles' face, bold
  LargeButton,  // the run buttons' larger face
};

// A rectangle with a one-pixel outline in its pen colour (or none) and an
// interior in its brush colour.
struct ShapeLayout {
  const char* name;
  int left, top, width, height;
  std::optional<Color> pen;  // no pen: no outline
  Color brush;
  std::optional<Panel> panel;  // set for the five picture panels
};

// Text painted straight on the window.
struct LabelLayout {
  const char* name;
  int left, top, width, height;
  const char* text;
  FontRole font;
  Color color;
  bool centred;  // text centred vertically in its box
  bool wrap;     // word-wrapped
};

struct EditLayout {
  const char* name;
  InputField field;
  int left, top;
  int tab;
};

struct ReadoutLayout {
  const char* name;
  Readout field;
  int left, top;
  int tab;
};

struct ButtonLayout {
  const char* name;
  int left, top, width, height;
  const char* text;
  FontRole font;
  int tab;
};

// Text on a coloured background, in a control of its own.
struct StaticTextLayout {
  const char* name;
  int left, top, width;
  const char* text;
  Color color;
  int tab;
};

struct ProgressLayout {
  const char* name;
  int left, top, width, height;
  int tab;
};

inline constexpr int kEditWidth = 73;
inline constexpr int kEditHeight = 21;
inline constexpr int kStaticTextHeight = 17;
inline constexpr Color kStaticTextBackground = clSilver;
inline constexpr int kClientWidth = 1005;
inline constexpr int kClientHeight = 719;
inline constexpr int kWindowLeft = 3;
inline constexpr int kWindowTop = 233;

std::span<const ShapeLayout> FormShapes();
std::span<const LabelLayout> FormLabels();
std::span<const EditLayout> FormEdits();
std::span<const ReadoutLayout> FormReadouts();
std::span<const ButtonLayout> FormButtons();
std::span<const StaticTextLayout> FormStaticTexts();
const ProgressLayout& FormProgressBar();

const ShapeLayout& PanelShape(Panel panel);
const EditLayout& EditOf(InputField field);

// "Exchange bias simulation - Random-Field Ising Model", 87 blanks, then
// the version tag.
const char* FormCaption();

}  // namespace ebsim
