#pragma once
// The five characters a read-out shows for a number.

#include <string>

#include "base/decimal_separator.h"

namespace ebsim {

inline constexpr std::size_t kReadoutWidth = 5;

// FormatReal(x) fitted to five characters without ever changing the
// number's magnitude or showing a non-zero number as zero.
std::string ReadoutText(long double x, const DecimalSeparator& separator);

}  // namespace ebsim
