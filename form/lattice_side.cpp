#include "form/lattice_side.h"

#include <string>

#include "base/errors.h"
#include "form/field_numbers.h"
#include "model/lattice_state.h"

namespace ebsim {

std::int32_t ReadLatticeSide(const FieldTexts& fields) { return ReadLatticeSide(fields, kMaxSide); }

std::int32_t ReadLatticeSide(const FieldTexts& fields, std::int32_t largest) {
  const std::string text = fields.Text(Input::Side);
  const std::int32_t side = ReadIntegerField(text);
  if (side < 1 || side > largest)
    throw EConvertError("'" + text + "' is not a valid lattice side (1 to " + std::to_string(largest) + ")");
  return side;
}

}  // namespace ebsim
