#pragma once
// The names the window gives its fields, for test logs and messages.

#include <string>

#include "form/catalogue.h"
#include "form/controls.h"

namespace ebsim {

inline std::string FieldName(InputField f) {
  switch (f) {
    case InputField::Edit1: return "Edit1";
    case InputField::Edit2: return "Edit2";
    case InputField::Edit3: return "Edit3";
    case InputField::Edit4: return "Edit4";
    case InputField::Edit5: return "Edit5";
    case InputField::Edit6: return "Edit6";
    case InputField::Edit10: return "Edit10";
  }
  return "?";
}
// The window's field for the input.
inline std::string FieldName(Input input) { return FieldName(InputOf(input).control); }

inline std::string ReadoutFieldName(Readout r) {
  return r == Readout::MaskEdit10 ? "MaskEdit10" : "MaskEdit" + std::to_string(static_cast<int>(r) + 1);
}
// The window's read-out for the quantity.
inline std::string ReadoutFieldName(Quantity quantity) { return ReadoutFieldName(ReadoutOf(quantity).control); }

}  // namespace ebsim
