// The row kernels in the instructions every x86-64 CPU has: 16-byte vectors.

#include <emmintrin.h>

#include <cstdint>

#include "sim/row_kernels.h"

namespace {

inline __m128d Widen(const std::int8_t* p) { return _mm_set_pd(p[1], p[0]); }

template <class Mask>
unsigned MaskBits(Mask m) {
  return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(m)));
}

inline void StoreSignBits(std::uint64_t positive, std::uint64_t negative, std::int8_t* out) {
  for (int k = 0; k < 16; ++k)
    out[k] = static_cast<std::int8_t>(((positive >> k) & 1) - ((negative >> k) & 1));
}

#include "sim/row_kernels_impl.h"

}  // namespace

const RowKernels& PortableKernels() {
  static const RowKernels kernels = Kernels<16>::Table("portable");
  return kernels;
}
