#pragma once
// The polar method's Gaussian value as the set-up stores it, without the
// extended logarithm where that is safe to skip.
//
// The set-up's value is StoreDouble(PolarGaussian(u1, s, mean, sd)): a chain
// of extended operations (the logarithm among them, several times the cost
// of the rest) rounded once more to double. Here the same formula at the
// same s is evaluated in double-double arithmetic, within about 2^-66 of its
// exact real value. The extended chain lies within about 6.5 2^-64 of that
// value, relative to |sd u1 radius| + |value|: the logarithm (the x87 fyl2x
// or fyl2xp1, of the 64-bit ln 2) within 1.5 units in its last place, each
// of the four roundings that follow within half of one. Where the
// double-double value lies further than three times that from every point
// halfway between two doubles, both round to the same double, which is
// taken; elsewhere (about one value in forty) the caller runs the extended
// chain itself. The pairs are worked on side by side in SIMD lanes, in one
// version per instruction set (all give the same values, each operation
// being rounded once). A test holds them to the extended chain's bits over
// millions of draws.

#include <cstdint>

#include "base/double_double.h"

namespace ebsim {

class PolarRounding {
 public:
  // level: the lanes' version, 0 portable, 1 AVX2 with FMA, 2 AVX-512 with
  // FMA; by default the widest this CPU runs.
  PolarRounding(long double mean, long double sd, int level = WidestLevel());
  static int WidestLevel();

  // How many pairs Values takes at once.
  static constexpr int kBatch = 8;

  // For pairs l < count <= kBatch, with u1 = a[l] 2^-31 and s = N[l] 2^-62
  // (N = a^2 + b^2, 0 < N < 2^62, the polar method's accepted pair in
  // integers): told[l] whether value[l] holds the double the set-up stores;
  // not where it lies too near a rounding boundary, or where a, mean, sd or
  // the value lie beyond what this form serves.
  void Values(const std::int64_t* a, const std::uint64_t* N, int count, double* value, bool* told) const;

  // What the lanes' versions share.
  struct Parts {
    bool serves = false;
    DoubleDouble<> mean, sd;
  };
 private:
  Parts parts_;
  int level_ = 0;
};

}  // namespace ebsim
