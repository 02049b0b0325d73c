#include "engine/row_kernels.h"

#include <stdexcept>
#include <string>

namespace ebsim {

bool SimdLevelSupported(SimdLevel level) {
  __builtin_cpu_init();
  switch (level) {
    case SimdLevel::Portable:
      return true;
    case SimdLevel::Avx2:
      return __builtin_cpu_supports("avx2");
    case SimdLevel::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
  }
  return false;
}

SimdLevel WidestSimdLevel() {
  if (SimdLevelSupported(SimdLevel::Avx512)) return SimdLevel::Avx512;
  if (SimdLevelSupported(SimdLevel::Avx2)) return SimdLevel::Avx2;
  return SimdLevel::Portable;
}

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::Portable: return "portable";
    case SimdLevel::Avx2: return "avx2";
    case SimdLevel::Avx512: return "avx512";
  }
  return "?";
}

const RowKernels& KernelsFor(SimdLevel level) {
  if (!SimdLevelSupported(level)) throw std::invalid_argument(std::string("this CPU lacks ") + SimdLevelName(level));
  switch (level) {
    case SimdLevel::Avx512: return Avx512Kernels();
    case SimdLevel::Avx2: return Avx2Kernels();
    case SimdLevel::Portable: break;
  }
  return PortableKernels();
}

}  // namespace ebsim
