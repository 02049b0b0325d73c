#pragma once
// A spin's flip field: the last applied field, down for +1 and up for -1,
// at which the spin is unstable with the neighbour field F it has, its
// random field q. The stored local field fl(fl(F + q) + H), each sum in
// extended precision, is a non-decreasing function of H and of q (every
// rounding is monotone), so a +1 spin is unstable at every H up to its down
// field and a -1 spin at every H from its up field on; with F fixed, a
// higher q gives a flip field no higher.

#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/flip_rule.h"
#include "engine/local_field.h"

namespace ebsim {

// The double next to a finite x, up or down: std::nextafter(x, +-HUGE_VAL)
// without the call.
inline double NextDouble(double x, bool up) {
  if (x == 0) return up ? 0x1p-1074 : -0x1p-1074;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  return std::bit_cast<double>((x > 0) == up ? bits + 1 : bits - 1);
}

// The double next to the critical field -(F + q), corrected a double at a
// time by the local field itself. No local field may overflow here; a spin
// 0 has none (0).
inline double FlipFieldOf(std::int8_t spin, double F, double q) {
  if (spin == 0) return 0.0;
  const auto unstable = [&](double H) { return spin * SignOf(LocalField<false>(F, q, H)) < 0; };
  const bool away = spin < 0;  // the way the spin stays unstable: up for -1
  double H = static_cast<double>(-(static_cast<long double>(F) + q));
  while (!unstable(H)) H = NextDouble(H, away);
  for (double next = NextDouble(H, !away); unstable(next); next = NextDouble(H, !away)) H = next;
  return H;
}

}  // namespace ebsim
