// The polar lanes for AVX2 with fused multiply-adds, four pairs a vector.
#include <immintrin.h>

#include "model/polar_rounding_lanes.h"

namespace ebsim {

using Lanes4 = double __attribute__((vector_size(32)));

template <>
struct FusedProducts<Lanes4> : std::true_type {
  static Lanes4 Error(Lanes4 a, Lanes4 b, Lanes4 p) { return _mm256_fmsub_pd(a, b, p); }
};

void PolarValuesAvx2(const PolarRounding::Parts& parts, const std::int64_t* a, const std::uint64_t* N, int count,
                     double* value, bool* told) {
  polar_lanes::InGroups<Lanes4>(parts, a, N, count, value, told);
}

}  // namespace ebsim
