#pragma once
// The number rules applied to the window's fields: inputs read with the
// form's separator, and numbers shown in read-outs.

#include <cstdint>

#include "base/number_format.h"
#include "base/number_reading.h"
#include "base/readout_text.h"
#include "form/form_fields.h"

namespace ebsim {

inline std::int32_t ReadIntegerField(const FieldTexts& fields, Input input) {
  return ReadIntegerField(fields.Text(input));
}
inline long double ReadRealField(const FieldTexts& fields, Input input) {
  return ReadRealField(fields.Text(input), fields.Separator());
}

// Shows x in the quantity's read-out: its five characters and x itself.
void ShowReadout(const FormPort& port, Quantity quantity, long double x);
// Blanks the quantity's read-out.
void ClearReadout(const FormPort& port, Quantity quantity);

}  // namespace ebsim
