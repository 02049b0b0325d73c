#include "form/lattice_side.h"

#include "base/errors.h"
#include "form/field_numbers.h"
#include "model/lattice_state.h"

namespace ebsim {

std::int32_t ReadLatticeSide(const FieldTexts& fields) {
  const std::string text = fields.Text(InputField::Edit5);
  const std::int32_t side = ReadIntegerField(text);
  if (!IsValidSide(side)) throw EConvertError("'" + text + "' is not a valid lattice side (1 to 300)");
  return side;
}

}  // namespace ebsim
