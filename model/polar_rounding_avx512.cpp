// The polar lanes for AVX-512 with fused multiply-adds, eight pairs a vector.
#include <immintrin.h>

#include "model/polar_rounding_lanes.h"

namespace ebsim {

using Lanes8 = double __attribute__((vector_size(64)));

template <>
struct FusedProducts<Lanes8> : std::true_type {
  static Lanes8 Error(Lanes8 a, Lanes8 b, Lanes8 p) { return _mm512_fmsub_pd(a, b, p); }
};

void PolarValuesAvx512(const PolarRounding::Parts& parts, const std::int64_t* a, const std::uint64_t* N, int count,
                       double* value, bool* told) {
  polar_lanes::InGroups<Lanes8>(parts, a, N, count, value, told);
}

}  // namespace ebsim
