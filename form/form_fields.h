#pragma once
// How the runs reach the window's fields: they read input texts and write
// read-out texts through these, and draw through the drawing surface.

#include <string>

#include "form/controls.h"
#include "form/drawing_surface.h"

namespace ebsim {

class FieldTexts {
 public:
  virtual ~FieldTexts() = default;
  virtual std::string Text(InputField field) const = 0;
};

class ReadoutFields {
 public:
  virtual ~ReadoutFields() = default;
  virtual void SetReadoutText(Readout field, const std::string& text) = 0;
  // Every number shown in a read-out passes here first, at full precision,
  // for callers that keep the number as well as its five characters.
  virtual void NoteReadoutValue(Readout, long double) {}
};

// Everything a run touches on the window.
struct FormPort {
  const FieldTexts& fields;
  ReadoutFields& readouts;
  DrawingSurface& surface;
};

}  // namespace ebsim
