#pragma once
// Reals written in general format with 15 significant digits: "0.0425",
// "-12.5", "1E-5", "1.23456789012346E15", "INF", "NAN".

#include <string>

#include "base/decimal_separator.h"

namespace ebsim {

std::string FormatReal(long double x, const DecimalSeparator& separator);

}  // namespace ebsim
