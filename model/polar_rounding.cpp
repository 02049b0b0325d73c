#include "model/polar_rounding.h"

#include <algorithm>

#include "model/polar_rounding_lanes.h"

namespace ebsim {

namespace {

using Lanes2 = double __attribute__((vector_size(16)));

// ln(c) by 2 atanh((c - 1) / (c + 1)).
PolarStep StepOf(int i) {
  using D = DoubleDouble<>;
  const D x = D{static_cast<double>(i - 128)} / D{static_cast<double>(i + 128)};
  const D x2 = x * x;
  D power = x, sum = x;
  for (int k = 1; k < 40; ++k) {  // x^2 <= 0.11: the terms fall below 2^-110
    power = power * x2;
    sum = sum + power / D{static_cast<double>(2 * k + 1)};
  }
  return {i == 128 ? D{} : sum * 2.0, D{1} / D{i / 128.0}};
}

DoubleDouble<> Exactly(long double x) {
  const double hi = static_cast<double>(x);
  return {hi, static_cast<double>(x - hi)};  // the 11 bits a double drops
}

bool Moderate(double x) { return std::fabs(x) >= 0x1p-900 && std::fabs(x) <= 0x1p900; }

}  // namespace

const std::array<PolarStep, 128>& PolarSteps() {
  static const std::array<PolarStep, 128> steps = [] {
    std::array<PolarStep, 128> t{};
    for (int i = 0; i < 128; ++i) t[static_cast<std::size_t>(i)] = StepOf(128 + i);
    return t;
  }();
  return steps;
}

int PolarRounding::WidestLevel() {
  if (!__builtin_cpu_supports("fma")) return 0;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) return 2;
  return __builtin_cpu_supports("avx2") ? 1 : 0;
}

PolarRounding::PolarRounding(long double mean, long double sd, int level)
    : level_(std::clamp(level, 0, WidestLevel())) {
  parts_.mean = Exactly(mean);
  parts_.sd = Exactly(sd);
  parts_.serves =
      std::isfinite(mean) && std::isfinite(sd) && Moderate(parts_.sd.hi) && (mean == 0 || Moderate(parts_.mean.hi));
  (void)PolarSteps();
}

void PolarRounding::Values(const std::int64_t* a, const std::uint64_t* N, int count, double* value,
                           bool* told) const {
  count = std::clamp(count, 0, kBatch);
  if (level_ == 2) return PolarValuesAvx512(parts_, a, N, count, value, told);
  if (level_ == 1) return PolarValuesAvx2(parts_, a, N, count, value, told);
  polar_lanes::InGroups<Lanes2>(parts_, a, N, count, value, told);
}

}  // namespace ebsim
