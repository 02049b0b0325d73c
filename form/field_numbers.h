#pragma once
// The number rules applied to the window's fields: inputs read by name with
// the form's separator, and numbers shown in read-outs.

#include <cstdint>

#include "base/number_format.h"
#include "base/number_reading.h"
#include "base/readout_text.h"
#include "form/form_fields.h"

namespace ebsim {

inline std::int32_t ReadIntegerField(const FieldTexts& fields, InputField field) {
  return ReadIntegerField(fields.Text(field));
}
inline long double ReadRealField(const FieldTexts& fields, InputField field) {
  return ReadRealField(fields.Text(field), fields.Separator());
}

// Shows x in a read-out: its five characters and x itself.
void ShowReadout(const FormPort& port, Readout field, long double x);
// Blanks a read-out.
void ClearReadout(const FormPort& port, Readout field);

}  // namespace ebsim
