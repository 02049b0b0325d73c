// The row kernels in AVX2: 32-byte vectors. Built with -mavx2; called only
// where the CPU has it.

#include <cstdint>

#include "sim/row_kernels.h"

namespace {
#include "sim/row_kernels_impl.h"
}  // namespace

const RowKernels& Avx2Kernels() {
  static const RowKernels kernels = Kernels<32>::Table("avx2");
  return kernels;
}
