// The flip-field lists' sort on one thread and on two: sites in order,
// their Gaussian random fields spread over memory far larger than the
// caches, as at side 40,000 (run it alone: --benchmark_filter=SortByField).
// 2^26 sites hold 512 MiB of fields.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "engine/sorted_flip_fields.h"
#include "engine/worker_pool.h"

using namespace ebsim;

namespace {

void BM_SortByField(benchmark::State& state) {
  const std::size_t count = static_cast<std::size_t>(state.range(0));
  std::mt19937_64 rng(20261210);
  std::normal_distribution<double> gauss(0.0, 2.0);
  std::vector<double> q(count);
  for (double& x : q) x = gauss(rng);
  std::vector<std::uint32_t> order(count);
  WorkerPool team(static_cast<int>(state.range(1)));
  double sorting = 0;  // seconds
  for (auto _ : state) {
    state.PauseTiming();
    std::iota(order.begin(), order.end(), 0u);
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    SortedFlipFields::SortByField(order.data(), order.data() + count, q.data(), {}, std::size_t{1} << 20, &team);
    sorting += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  benchmark::DoNotOptimize(order.data());
  state.counters["ns_per_site"] =
      sorting * 1e9 / (static_cast<double>(count) * static_cast<double>(state.iterations()));
}

BENCHMARK(BM_SortByField)
    ->ArgNames({"sites", "threads"})
    ->Args({1 << 26, 1})
    ->Args({1 << 26, 2})
    ->UseRealTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
