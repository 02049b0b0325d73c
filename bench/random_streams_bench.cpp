// Gaussian draws as the set-up of the random fields makes them: one after
// another with GaussianRandom, and in chunks on 1 and 2 threads with the
// same bits. 10^6 draws run by default; 10^8 (side 10,000) take seconds and
// 800 MB, and run only when asked for, with --benchmark_filter=Side10000.
// The CPU column is the whole process's, all threads together.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "base/float_checks.h"
#include "model/random_numbers.h"
#include "model/random_streams.h"

using namespace ebsim;

namespace {

constexpr std::uint32_t kSeed = 45296789u;

void PerDraw(benchmark::State& state, std::size_t draws) {
  state.counters["ns_per_draw"] = benchmark::Counter(static_cast<double>(draws),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void InTurn(benchmark::State& state) {
  std::vector<double> out(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    RandomNumbers random;
    random.RandomSeed = kSeed;
    for (double& value : out) value = StoreDouble(random.GaussianRandom(0.0L, 2.0L));
    benchmark::DoNotOptimize(out.data());
  }
  PerDraw(state, out.size());
}

void InChunks(benchmark::State& state) {
  std::vector<double> out(static_cast<std::size_t>(state.range(0)));
  DrawThreads how;
  how.threads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    RandomNumbers random;
    random.RandomSeed = kSeed;
    if (DrawGaussians(random, 0.0L, 2.0L, out, how) != DrawStatus::Complete) state.SkipWithError("stopped");
    benchmark::DoNotOptimize(out.data());
  }
  PerDraw(state, out.size());
}

void BM_GaussianInTurn(benchmark::State& state) { InTurn(state); }
void BM_GaussianInChunks(benchmark::State& state) { InChunks(state); }
void BM_GaussianInTurnSide10000(benchmark::State& state) { InTurn(state); }
void BM_GaussianInChunksSide10000(benchmark::State& state) { InChunks(state); }

BENCHMARK(BM_GaussianInTurn)->ArgNames({"draws"})->Arg(1000000)->MeasureProcessCPUTime()->UseRealTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_GaussianInChunks)
    ->ArgNames({"draws", "threads"})
    ->Args({1000000, 1})
    ->Args({1000000, 2})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianInTurnSide10000)
    ->ArgNames({"draws"})
    ->Arg(100000000)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_GaussianInChunksSide10000)
    ->ArgNames({"draws", "threads"})
    ->Args({100000000, 1})
    ->Args({100000000, 2})
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
