#pragma once

#include <cstdint>

#include "form/form_fields.h"

namespace ebsim {

// The lattice side from "Str. Dim. <= 300". A text that is not an
// integer fails as any integer field does; an integer outside 1..300 fails
// with "'<text>' is not a valid lattice side (1 to 300)".
std::int32_t ReadLatticeSide(const FieldTexts& fields);
// The same with another largest side, for runs beyond the window's maps.
std::int32_t ReadLatticeSide(const FieldTexts& fields, std::int32_t largest);

}  // namespace ebsim
