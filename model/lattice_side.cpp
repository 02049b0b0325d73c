#include "model/lattice_side.h"

#include "app/errors.h"
#include "app/numeric_fields.h"
#include "model/lattice_state.h"

std::int32_t ReadLatticeSide(const FieldTexts& fields) {
  const std::string text = fields.Text(InputField::Edit5);
  const std::int32_t side = ReadIntegerField(text);
  if (!IsValidSide(side)) throw EConvertError("'" + text + "' is not a valid lattice side (1 to 300)");
  return side;
}
