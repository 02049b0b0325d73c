// The row kernels in AVX-512 (F, BW, VL, DQ): 64-byte vectors. Built for
// those instructions; called only where the CPU has them.

#include <cstdint>

#include "sim/row_kernels.h"

namespace {
#include "sim/row_kernels_impl.h"
}  // namespace

const RowKernels& Avx512Kernels() {
  static const RowKernels kernels = Kernels<64>::Table("avx512");
  return kernels;
}
