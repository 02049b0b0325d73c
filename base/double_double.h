#pragma once
// Unevaluated sums hi + lo of two doubles, about 106 bits of significand,
// from error-free transformations (Dekker, "A floating-point technique for
// extending the available precision", Numer. Math. 1971; Knuth's two-sum).
// They need every operation rounded once, to nearest: the build keeps
// products and sums apart (no fused multiply-add contraction). Operands stay
// well inside the double range (below about 2^995 in magnitude).
//
// T is double or a GCC vector of doubles: the same operations lane by lane,
// so that many independent sums are worked on at once.

#include <cmath>
#include <type_traits>

namespace ebsim {

// Whether products of T split by a fused multiply-add, FusedProducts<T>::
// Error(a, b, p) giving a * b - p exactly: a file built for a CPU that has
// one says so for its own vector type.
template <class T>
struct FusedProducts : std::false_type {};

template <class T = double>
struct DoubleDouble {
  T hi{};
  T lo{};
};

// a + b exactly.
template <class T>
inline DoubleDouble<T> TwoSum(T a, T b) {
  const T s = a + b;
  const T v = s - a;
  return {s, (a - (s - v)) + (b - v)};
}

// a + b exactly, where |a| >= |b| or a is 0.
template <class T>
inline DoubleDouble<T> QuickTwoSum(T a, T b) {
  const T s = a + b;
  return {s, b - (s - a)};
}

// x as two halves of 26 bits each (Veltkamp's splitting).
template <class T>
inline DoubleDouble<T> Split(T x) {
  const T c = 134217729.0 * x;  // 2^27 + 1
  const T hi = c - (c - x);
  return {hi, x - hi};
}

// a * b exactly.
template <class T>
inline DoubleDouble<T> TwoProduct(T a, T b) {
  const T p = a * b;
  if constexpr (FusedProducts<T>::value) return {p, FusedProducts<T>::Error(a, b, p)};
  const DoubleDouble<T> x = Split(a), y = Split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

template <class T>
inline DoubleDouble<T> operator+(DoubleDouble<T> x, DoubleDouble<T> y) {
  DoubleDouble<T> s = TwoSum(x.hi, y.hi);
  const DoubleDouble<T> t = TwoSum(x.lo, y.lo);
  s = QuickTwoSum(s.hi, s.lo + t.hi);
  return QuickTwoSum(s.hi, s.lo + t.lo);
}

template <class T>
inline DoubleDouble<T> operator-(DoubleDouble<T> x) {
  return {-x.hi, -x.lo};
}
template <class T>
inline DoubleDouble<T> operator-(DoubleDouble<T> x, DoubleDouble<T> y) {
  return x + -y;
}

template <class T>
inline DoubleDouble<T> operator*(DoubleDouble<T> x, DoubleDouble<T> y) {
  DoubleDouble<T> p = TwoProduct(x.hi, y.hi);
  p.lo += x.hi * y.lo + x.lo * y.hi;
  return QuickTwoSum(p.hi, p.lo);
}

template <class T>
inline DoubleDouble<T> operator*(DoubleDouble<T> x, T y) {
  DoubleDouble<T> p = TwoProduct(x.hi, y);
  p.lo += x.lo * y;
  return QuickTwoSum(p.hi, p.lo);
}

// x / y: a quotient and the remainder's quotient.
template <class T>
inline DoubleDouble<T> operator/(DoubleDouble<T> x, DoubleDouble<T> y) {
  const T q1 = x.hi / y.hi;
  const DoubleDouble<T> r = x - y * q1;
  return QuickTwoSum(q1, r.hi / y.hi);
}

// The square root of x > 0 from its double root h: one Newton correction.
template <class T>
inline DoubleDouble<T> SqrtFrom(DoubleDouble<T> x, T h) {
  const DoubleDouble<T> square = TwoProduct(h, h);
  const T e = ((x.hi - square.hi) - square.lo + x.lo) / (2.0 * h);
  return QuickTwoSum(h, e);
}

}  // namespace ebsim
