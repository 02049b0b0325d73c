#pragma once
// The number rules applied to the window's fields: inputs read by name, and
// numbers shown in read-outs.

#include <cstdint>

#include "base/number_text.h"
#include "form/form_fields.h"

namespace ebsim {

inline std::int32_t ReadIntegerField(const FieldTexts& fields, InputField field) {
  return ReadIntegerField(fields.Text(field));
}
inline long double ReadRealField(const FieldTexts& fields, InputField field) {
  return ReadRealField(fields.Text(field));
}

// Sets a read-out's text to ReadoutText(x).
void ShowReadout(ReadoutFields& readouts, Readout field, long double x);

}  // namespace ebsim
