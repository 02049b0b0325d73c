#pragma once
// The double-double chain of model/polar_rounding.h on a vector V of doubles
// (GCC's vector extension), each lane a pair; included by each instruction
// set's file, each with a vector type of its own width.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "base/double_double.h"
#include "model/polar_rounding.h"

namespace ebsim {

// ln(c) and 1 / c for the steps c = i / 128, i = 128..255.
struct PolarStep {
  DoubleDouble<> ln, inverse;
};
const std::array<PolarStep, 128>& PolarSteps();

namespace polar_lanes {

constexpr double kLn2Hi = 0x1.62e42fefa39efp-1, kLn2Lo = 0x1.abc9e3b39803fp-56;

template <class V>
constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(double));

template <class V>
V Broadcast(double x) {
  return V{} + x;
}

// What each pair's logarithm starts from: N 2^-62 = 2^j m with m near
// c = i / 128 (c = 1 where s is near 1, so that nothing cancels there), and
// N itself as its nearest double and the rest (at most 2^10).
template <class V>
struct Reduced {
  DoubleDouble<V> m, n, ln, inverse;
  V c, j, u1;
};

template <class V>
Reduced<V> Reduce(const std::int64_t* a, const std::uint64_t* N, int count) {
  Reduced<V> r;
  const std::array<PolarStep, 128>& steps = PolarSteps();
  for (int l = 0; l < kWidth<V>; ++l) {
    const std::uint64_t x = l < count ? N[l] : std::uint64_t{1} << 61;
    const int k = 63 - std::countl_zero(x);  // 2^k <= x < 2^(k + 1)
    const double nearest = static_cast<double>(static_cast<std::int64_t>(x));
    const double rest = static_cast<double>(static_cast<std::int64_t>(x) - static_cast<std::int64_t>(nearest));
    const double scale = std::bit_cast<double>(static_cast<std::uint64_t>(1023 - k) << 52);  // 2^-k
    double mh = nearest * scale, ml = rest * scale;
    int i = static_cast<int>(mh * 128 + 0.5), j = k - 62;
    if (i == 256) i = 128, ++j, mh /= 2, ml /= 2;
    const PolarStep& step = steps[static_cast<std::size_t>(i - 128)];
    r.m.hi[l] = mh, r.m.lo[l] = ml, r.n.hi[l] = nearest, r.n.lo[l] = rest;
    r.ln.hi[l] = step.ln.hi, r.ln.lo[l] = step.ln.lo;
    r.inverse.hi[l] = step.inverse.hi, r.inverse.lo[l] = step.inverse.lo;
    r.c[l] = i * 0x1p-7, r.j[l] = j, r.u1[l] = (l < count ? static_cast<double>(a[l]) : 1.0) * 0x1p-31;
  }
  return r;
}

// ln(s) = j ln 2 + ln(c) + ln(1 + r), r = (m - c) / c, |r| <= 2^-8, by
// its series to r^13.
template <class V>
DoubleDouble<V> LogOf(const Reduced<V>& p) {
  const DoubleDouble<V> r = TwoSum(p.m.hi - p.c, p.m.lo) * p.inverse;  // m.hi - c is exact
  const DoubleDouble<V> r2 = r * r;
  const V t = r.hi;
  static constexpr double kInverse[14] = {0,       0,       0,       1.0 / 3, 1.0 / 4,  1.0 / 5,  1.0 / 6,
                                         1.0 / 7, 1.0 / 8, 1.0 / 9, 1.0 / 10, 1.0 / 11, 1.0 / 12, 1.0 / 13};
  V series = Broadcast<V>(kInverse[13]);
  for (int n = 12; n >= 3; --n) series = kInverse[n] - t * series;  // 1/3 - t/4 + t^2/5 - ...
  const DoubleDouble<V> log1p = (r - r2 * Broadcast<V>(0.5)) + DoubleDouble<V>{r2.hi * t * series, V{}};
  return (DoubleDouble<V>{Broadcast<V>(kLn2Hi), Broadcast<V>(kLn2Lo)} * p.j + p.ln) + log1p;
}

// Whether the value's double is safe to take: the halfway points on either
// side of |d| (normal), half an ulp away, and half of half an ulp below a
// power of two, keep a margin of three times the extended chain's reach,
// beyond the double-double's.
inline bool FarFromHalfway(double hi, double lo, double y) {
  const double d = std::fabs(hi);
  if (hi < 0) lo = -lo;
  if (!(d >= 0x1p-900 && d <= 0x1p900)) return false;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
  const double ulp = std::bit_cast<double>(bits & 0x7FF0000000000000) * 0x1p-52;
  const double below = (bits & 0x000FFFFFFFFFFFFF) == 0 ? ulp / 2 : ulp;
  const double reach = 0x1.4p-60 * (std::fabs(y) + d);
  return ulp / 2 - lo > reach && below / 2 + lo > reach;
}

// ln(s) * -2 / s with 1 / s = 2^62 / N, its root, times u1 and sd, plus
// mean; count <= kWidth<V>.
template <class V>
void Values(const PolarRounding::Parts& parts, const std::int64_t* a, const std::uint64_t* N, int count,
            double* value, bool* told) {
  const Reduced<V> p = Reduce<V>(a, N, count);
  const DoubleDouble<V> log = LogOf(p);
  const DoubleDouble<V> w = DoubleDouble<V>{log.hi * -0x1p63, log.lo * -0x1p63} / p.n;
  V root;
  for (int l = 0; l < kWidth<V>; ++l) root[l] = std::sqrt(w.hi[l]);
  const DoubleDouble<V> sd{Broadcast<V>(parts.sd.hi), Broadcast<V>(parts.sd.lo)};
  const DoubleDouble<V> y = sd * (SqrtFrom(w, root) * p.u1);
  const DoubleDouble<V> sum = DoubleDouble<V>{Broadcast<V>(parts.mean.hi), Broadcast<V>(parts.mean.lo)} + y;
  for (int l = 0; l < count; ++l) {
    value[l] = sum.hi[l];
    told[l] = parts.serves && a[l] != 0 && N[l] != 0 && N[l] < std::uint64_t{1} << 62 &&
              FarFromHalfway(sum.hi[l], sum.lo[l], y.hi[l]);
  }
}

// Values on up to kBatch pairs, kWidth<V> at a time.
template <class V>
void InGroups(const PolarRounding::Parts& parts, const std::int64_t* a, const std::uint64_t* N, int count,
              double* value, bool* told) {
  for (int first = 0; first < count; first += kWidth<V>)
    Values<V>(parts, a + first, N + first, std::min(kWidth<V>, count - first), value + first, told + first);
}

}  // namespace polar_lanes

// Each instruction set's version, kBatch pairs at most.
void PolarValuesAvx2(const PolarRounding::Parts& parts, const std::int64_t* a, const std::uint64_t* N, int count,
                     double* value, bool* told);
void PolarValuesAvx512(const PolarRounding::Parts& parts, const std::int64_t* a, const std::uint64_t* N, int count,
                       double* value, bool* told);

}  // namespace ebsim
