#pragma once
// Number texts read as the window's fields read them: integers (decimal, or
// hexadecimal after "$", "x", "X" or "0x") and extended reals with the
// separator in force.

#include <cstdint>
#include <string>

#include "base/decimal_separator.h"

namespace ebsim {

// The whole text as a 32-bit integer; EConvertError
// "'<text>' is not a valid integer value" otherwise.
std::int32_t ReadIntegerField(const std::string& text);
// The whole text as an extended real; EConvertError
// "'<text>' is not a valid floating point value" otherwise.
long double ReadRealField(const std::string& text, const DecimalSeparator& separator);

}  // namespace ebsim
