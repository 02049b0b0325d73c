// The row kernels in AVX2: 32-byte vectors. Built with -mavx2; called only
// where the CPU has it.

#include <immintrin.h>

#include <cstdint>

#include "engine/row_kernels.h"

namespace ebsim {

namespace {

inline __m256d Widen(const std::int8_t* p) {
  std::int32_t bytes;
  __builtin_memcpy(&bytes, p, sizeof bytes);
  return _mm256_cvtepi32_pd(_mm_cvtepi8_epi32(_mm_cvtsi32_si128(bytes)));
}

inline unsigned GreaterBits(__m256d a, __m256d b) {
  return static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_GT_OQ)));
}

// Byte k all ones where bit k of the 32 is set, nothing elsewhere.
inline __m256i BitsToBytes(std::uint32_t bits) {
  const __m256i lanes = _mm256_setr_epi64x(0, 0x0101010101010101, 0x0202020202020202, 0x0303030303030303);
  const __m256i bytes = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)), lanes);
  const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
  return _mm256_cmpeq_epi8(_mm256_and_si256(bytes, bit), bit);
}

inline void StoreSignBits(std::uint64_t positive, std::uint64_t negative, std::int8_t* out) {
  const __m256i sign = _mm256_sub_epi8(BitsToBytes(static_cast<std::uint32_t>(negative)),
                                       BitsToBytes(static_cast<std::uint32_t>(positive)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), sign);
}

#include "engine/row_kernels_impl.h"

}  // namespace

const RowKernels& Avx2Kernels() {
  static const RowKernels kernels = Kernels<32>::Table("avx2");
  return kernels;
}

}  // namespace ebsim
