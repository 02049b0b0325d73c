// Sweep throughput: realisations per second on one and two threads, for the
// window's default inputs and for side 100, and how well two threads scale
// (the aim is at least 1.8 times the single-thread rate).

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>

#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"

using namespace ebsim;

namespace {

// One grid point: the default texts, with the side given.
SweepGrid OnePoint(int side) { return SweepGrid({{"side", Input::Side, {std::to_string(side)}}}); }

// Enough realisations per sweep that starting the threads does not count.
std::uint64_t RealizationsFor(int side) { return side >= 100 ? 16 : 96; }

std::size_t Sweep(const SweepGrid& grid, std::uint64_t realizations, unsigned threads) {
  const std::atomic<bool> stop{false};
  std::size_t rows = 0;
  RunSweep(
      SweepPlan{&grid, realizations, 45296789, threads}, [&](const SweepRow&) { ++rows; }, [](std::size_t) {}, stop);
  return rows;
}

// Args: side, threads.
void BM_Sweep(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const auto threads = static_cast<unsigned>(state.range(1));
  const SweepGrid grid = OnePoint(side);
  const std::uint64_t realizations = RealizationsFor(side);
  for (auto _ : state) benchmark::DoNotOptimize(Sweep(grid, realizations, threads));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(realizations));
  state.SetLabel("realisations/s");
}
BENCHMARK(BM_Sweep)
    ->ArgNames({"side", "threads"})
    ->Args({20, 1})
    ->Args({20, 2})
    ->Args({100, 1})
    ->Args({100, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Both thread counts back to back in every iteration, so that a change in
// the machine's load hits both alike; reports the two rates and their ratio.
void BM_SweepScaling(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const SweepGrid grid = OnePoint(side);
  const std::uint64_t realizations = RealizationsFor(side);
  double one = 0, two = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(Sweep(grid, realizations, 1));
    const auto middle = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(Sweep(grid, realizations, 2));
    const auto end = std::chrono::steady_clock::now();
    one += std::chrono::duration<double>(middle - start).count();
    two += std::chrono::duration<double>(end - middle).count();
  }
  const double count = static_cast<double>(state.iterations()) * static_cast<double>(realizations);
  state.counters["rate_1"] = count / one;
  state.counters["rate_2"] = count / two;
  state.counters["speedup"] = one / two;
}
BENCHMARK(BM_SweepScaling)->ArgName("side")->Arg(20)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
