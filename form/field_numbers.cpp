#include "form/field_numbers.h"

namespace ebsim {

void ShowReadout(ReadoutFields& readouts, Readout field, long double x) {
  readouts.NoteReadoutValue(field, x);
  readouts.SetReadoutText(field, ReadoutText(x));
}

}  // namespace ebsim
