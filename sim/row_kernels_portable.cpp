// The row kernels in the instructions every x86-64 CPU has: 16-byte vectors.

#include <cstdint>

#include "sim/row_kernels.h"

namespace {
#include "sim/row_kernels_impl.h"
}  // namespace

const RowKernels& PortableKernels() {
  static const RowKernels kernels = Kernels<16>::Table("portable");
  return kernels;
}
