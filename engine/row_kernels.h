#pragma once
// The data-parallel work of a relaxation pass along one row, in one
// version per instruction set; every version gives the same bytes.

#include <cstdint>

namespace ebsim {

// One row's sites begin..end-1 (0-based columns) of the neighbour-field
// evaluation. The neighbour spins of the site in column j are left[j - 1],
// right[j + 1], up[j] and down[j], each row already chosen before or after
// the pass's reversals; a missing neighbour reads a row of zeros. The
// constants are read at the same places from the mask rows (indexed
// lattices) or the constant rows (others).
struct RowInput {
  const std::int8_t* left;
  const std::int8_t* right;
  const std::int8_t* up;
  const std::int8_t* down;
  const std::uint8_t* maskLeft;
  const std::uint8_t* maskRight;
  const std::uint8_t* maskUp;
  const std::uint8_t* maskDown;
  const double* constLeft;
  const double* constRight;
  const double* constUp;
  const double* constDown;
  const double* randomField;  // [j]
  std::int8_t* sign;          // [j]: the sign of the new local field
  int begin;
  int end;
};

// What every site of a pass shares. Where the neighbour sums are exact in
// double, the sign of (neighbour field + random field) + H, summed in
// extended precision and stored, is that of t = fl(fl(F + q) + H) whenever
// |t| > threshold; the other sites take the extended sum itself.
struct PassConstants {
  double H;
  double threshold;
  double value0;  // the constant of mask 0
  double value1;  // the constant of mask 0xFF
  // The two constants as bytes, where both are whole numbers of magnitude
  // 31 or less: every neighbour field is then a whole number within a byte.
  std::int8_t whole0;
  std::int8_t whole1;
};

// The reversals of count sites: out = -old where the signs of the two
// latest local fields call for it, old elsewhere.
struct RowReversal {
  std::int64_t change;  // sum of out - old
  bool changed;         // whether some spin changed
  std::int64_t flips;   // how many spins changed
};

struct RowKernels {
  const char* name;
  void (*evaluateIndexed)(const RowInput&, const PassConstants&);
  void (*evaluateWhole)(const RowInput&, const PassConstants&);
  void (*evaluateConstants)(const RowInput&, const PassConstants&);
  RowReversal (*reverseDescending)(const std::int8_t* previous, const std::int8_t* latest, const std::int8_t* old,
                                   std::int8_t* out, int count);
  RowReversal (*reverseAscending)(const std::int8_t* previous, const std::int8_t* latest, const std::int8_t* old,
                                  std::int8_t* out, int count);
};

enum class SimdLevel { Portable, Avx2, Avx512 };

// Whether this CPU runs the level's kernels, and the widest one it runs.
bool SimdLevelSupported(SimdLevel level);
SimdLevel WidestSimdLevel();
const char* SimdLevelName(SimdLevel level);

// The kernels of a level the CPU supports.
const RowKernels& KernelsFor(SimdLevel level);

// Each level's kernels, defined in a file built for its instruction set.
const RowKernels& PortableKernels();
const RowKernels& Avx2Kernels();
const RowKernels& Avx512Kernels();

}  // namespace ebsim
