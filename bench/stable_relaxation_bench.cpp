// Relaxation to stability against the pass at a time over a default Run's
// field steps (302 values from H = 3 down to -3 and back), at sides 200 and
// 1,000, under edge copy and periodic boundaries, on one thread: the time
// of a whole Run and the reversals it makes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bench/step_list.h"
#include "engine/parallel_relaxation.h"
#include "engine/stable_relaxation.h"
#include "form/field_parameters.h"
#include "form/headless_form.h"
#include "run/field_sweep.h"

using namespace ebsim;

namespace {

// The default texts' disorder: constant 10 with probability 0.04, else 1;
// Gaussian random fields of deviation 2; every site drawn.
CompactLattice DrawnLattice(int n) {
  std::mt19937_64 rng(20021222);
  std::bernoulli_distribution enhanced(0.04);
  std::normal_distribution<double> gauss(0.0, 2.0);
  CompactLattice lattice(n);
  std::vector<double> J(static_cast<std::size_t>(n)), q(J.size());
  for (int i = 1; i <= n; ++i) {
    for (std::size_t j = 0; j < J.size(); ++j) {
      J[j] = enhanced(rng) ? 10.0 : 1.0;
      q[j] = gauss(rng);
    }
    lattice.AppendRow(J.data(), q.data());
  }
  return lattice;
}

template <class Engine>
void Measure(benchmark::State& state, Engine& engine) {
  const std::vector<FieldStep> steps = DefaultSteps();
  std::int64_t sum = 0;
  for (auto _ : state) {
    engine.ResetSpins(1);
    engine.InitLocalFields(steps.front().H);
    for (const FieldStep& s : steps) engine.Relax(s.H, s.branch);
    sum += engine.SpinSum();
  }
  benchmark::DoNotOptimize(sum);
  const double n = engine.Side();
  state.counters["ns_per_site_step"] = benchmark::Counter(
      static_cast<double>(steps.size()) * n * n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

Boundary BoundaryOf(benchmark::State& state) {
  return state.range(1) ? Boundary::Periodic : Boundary::EdgeCopy;
}

void BM_PassRun(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  RelaxationOptions options;
  options.boundary = BoundaryOf(state);
  ParallelRelaxation engine(DrawnLattice(n), std::vector<std::int8_t>(static_cast<std::size_t>(n) * n, 1), options);
  Measure(state, engine);
}

void BM_StableRun(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  StableOptions options;
  options.boundary = BoundaryOf(state);
  StableRelaxation engine(DrawnLattice(n), std::vector<std::int8_t>(static_cast<std::size_t>(n) * n, 1), options);
  Measure(state, engine);
}

#define EB_RUN_ARGS                                                                                   \
  ArgNames({"side", "periodic"})->Args({200, 0})->Args({200, 1})->Args({1000, 0})->Args({1000, 1}) \
      ->UseRealTime()                                                                                 \
      ->Unit(benchmark::kMillisecond)
BENCHMARK(BM_PassRun)->EB_RUN_ARGS;
BENCHMARK(BM_StableRun)->EB_RUN_ARGS;
#undef EB_RUN_ARGS

}  // namespace
