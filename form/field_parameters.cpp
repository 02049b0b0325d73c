#include "form/field_parameters.h"

#include <string>

#include "base/errors.h"
#include "form/field_numbers.h"
#include "form/lattice_side.h"

namespace ebsim {

std::int32_t FieldParameters::Side(std::int32_t largestSide) const { return ReadLatticeSide(fields_, largestSide); }

long double FieldParameters::Dilution() const { return ReadRealField(fields_, Input::Dilution); }

long double FieldParameters::Enhancement() const { return ReadRealField(fields_, Input::Enhancement); }

long double FieldParameters::FieldSd() const { return ReadRealField(fields_, Input::FieldSd); }

long double FieldParameters::H0() const { return ReadRealField(fields_, Input::H0); }

long double FieldParameters::Hmin() const { return ReadRealField(fields_, Input::Hmin); }

std::int32_t FieldParameters::Steps() const {
  const std::string text = fields_.Text(Input::Steps);
  const std::int32_t steps = ReadIntegerField(text);
  if (steps < 1) throw EConvertError("'" + text + "' is not a valid number of steps (1 or more)");
  return steps;
}

}  // namespace ebsim
