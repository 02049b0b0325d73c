// The row kernels in AVX-512 (F, BW, VL, DQ): 64-byte vectors. Built for
// those instructions; called only where the CPU has them.

#include <immintrin.h>

#include <cstdint>

#include "engine/row_kernels.h"

namespace ebsim {

namespace {

inline __m512d Widen(const std::int8_t* p) {
  // The builtin with a zero pass-through: the intrinsic's undefined one
  // trips a false uninitialised warning.
  const __m256i ints = _mm256_cvtepi8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  return __builtin_ia32_cvtdq2pd512_mask(reinterpret_cast<__v8si>(ints), _mm512_setzero_pd(), 0xFF);
}

inline unsigned GreaterBits(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }

inline void StoreSignBits(std::uint64_t positive, std::uint64_t negative, std::int8_t* out) {
  _mm512_storeu_si512(out, _mm512_sub_epi8(_mm512_movm_epi8(negative), _mm512_movm_epi8(positive)));
}

#include "engine/row_kernels_impl.h"

}  // namespace

const RowKernels& Avx512Kernels() {
  static const RowKernels kernels = Kernels<64>::Table("avx512");
  return kernels;
}

}  // namespace ebsim
