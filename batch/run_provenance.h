#pragma once
// What a Run's output says of its origin, wherever it is written: the
// version, the seed, the separator and every input text.

#include <cstdint>

#include "batch/sweep_metadata.h"
#include "form/form_fields.h"

namespace ebsim {

Json RunProvenance(const FieldTexts& fields, std::uint32_t seedMs);

}  // namespace ebsim
