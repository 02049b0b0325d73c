#include "form/field_numbers.h"

namespace ebsim {

void ShowReadout(const FormPort& port, Readout field, long double x) {
  port.readouts.SetReadout(field, {ReadoutText(x, port.fields.Separator()), x});
}

void ClearReadout(const FormPort& port, Readout field) { port.readouts.SetReadout(field, {}); }

}  // namespace ebsim
