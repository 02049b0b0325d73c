#include "form/field_numbers.h"

namespace ebsim {

void ShowReadout(const FormPort& port, Quantity quantity, long double x) {
  port.readouts.SetReadout(quantity, {ReadoutText(x, port.fields.Separator()), x});
}

void ClearReadout(const FormPort& port, Quantity quantity) { port.readouts.SetReadout(quantity, {}); }

}  // namespace ebsim
