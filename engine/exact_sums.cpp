#include "engine/exact_sums.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace ebsim {

void ExactSumCheck::Add(double J) {
  if (J == 0) return;
  if (!std::isfinite(J)) {
    finite_ = false;
    return;
  }
  int exponent = 0;
  const double mantissa = std::frexp(std::fabs(J), &exponent);  // J = mantissa * 2^exponent
  const auto bits = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
  const int trailing = std::countr_zero(bits);
  low_ = std::min(low_, exponent - 53 + trailing);
  high_ = std::max(high_, exponent);
}

}  // namespace ebsim
