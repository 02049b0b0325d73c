// The row kernels in the instructions every x86-64 CPU has: 16-byte vectors.

#include <emmintrin.h>

#include <cstdint>

#include "engine/row_kernels.h"

namespace ebsim {

namespace {

inline __m128d Widen(const std::int8_t* p) { return _mm_set_pd(p[1], p[0]); }

inline unsigned GreaterBits(__m128d a, __m128d b) {
  return static_cast<unsigned>(_mm_movemask_pd(_mm_cmpgt_pd(a, b)));
}

// Byte k all ones where bit k of the 16 is set, nothing elsewhere.
inline __m128i BitsToBytes(std::uint64_t bits) {
  __m128i b = _mm_cvtsi32_si128(static_cast<int>(bits & 0xFFFF));
  b = _mm_unpacklo_epi8(b, b);   // b0 b0 b1 b1
  b = _mm_unpacklo_epi16(b, b);  // b0 x4, b1 x4
  b = _mm_unpacklo_epi32(b, b);  // b0 x8, b1 x8
  const __m128i bit = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
  return _mm_cmpeq_epi8(_mm_and_si128(b, bit), bit);
}

inline void StoreSignBits(std::uint64_t positive, std::uint64_t negative, std::int8_t* out) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_sub_epi8(BitsToBytes(negative), BitsToBytes(positive)));
}

#include "engine/row_kernels_impl.h"

}  // namespace

const RowKernels& PortableKernels() {
  static const RowKernels kernels = Kernels<16>::Table("portable");
  return kernels;
}

}  // namespace ebsim
