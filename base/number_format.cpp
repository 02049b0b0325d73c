#include "base/number_format.h"

#include "base/decimal_digits.h"

namespace ebsim {

std::string FormatReal(long double x, const DecimalSeparator& separator) {
  if (const auto normal = NormalValue(x)) return NormalText(*normal, separator.Text());
  return SpecialText(x);
}

}  // namespace ebsim
