#pragma once
// How the runs reach the window's fields: they read input texts and write
// read-out texts through these, by the inputs' and quantities' physical
// names (the window finds its controls for them in the catalogue), and draw
// through the drawing surface.

#include <optional>
#include <string>

#include "base/decimal_separator.h"
#include "form/drawing_surface.h"
#include "model/physics_names.h"

namespace ebsim {

class FieldTexts {
 public:
  virtual ~FieldTexts() = default;
  virtual std::string Text(Input input) const = 0;
  // The separator the texts are read with and the read-outs written with.
  virtual DecimalSeparator Separator() const = 0;
};

// What a read-out shows: its five characters and the number behind them at
// full precision; no number when the read-out is blank.
struct ReadoutValue {
  std::string text = "     ";
  std::optional<long double> value;
};

class ReadoutFields {
 public:
  virtual ~ReadoutFields() = default;
  virtual void SetReadout(Quantity quantity, const ReadoutValue& shown) = 0;
};

// Everything a run touches on the window.
struct FormPort {
  const FieldTexts& fields;
  ReadoutFields& readouts;
  DrawingSurface* surface = nullptr;  // none: nothing is drawn, site by site

  // For the few calls a run makes once: the surface, or one that draws
  // nothing.
  DrawingSurface& Drawing() const { return surface ? *surface : NoDrawing(); }
};

}  // namespace ebsim
