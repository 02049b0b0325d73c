// The stable dynamics by flip fields: an adiabatic loop (H = 3 down to -3
// and back, one avalanche at a time) at sides 300 and 2,000, with the
// process's peak resident memory per site (run it alone:
// --benchmark_filter=Adiabatic); and a Run of 302 or 3,002 field values by
// flip fields against the scan of every site, at side 1,000.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "bench/drawn_lattice.h"
#include "engine/stable_relaxation.h"

using namespace ebsim;

namespace {

StableRelaxation EngineOf(int n, bool events) {
  StableOptions options;
  options.events = events;
  return StableRelaxation(DrawnLattice(n), std::vector<std::int8_t>(static_cast<std::size_t>(n) * n, 1), options);
}

double PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

void BM_AdiabaticLoop(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  StableRelaxation engine = EngineOf(n, true);
  std::int64_t avalanches = 0;
  for (auto _ : state) {
    engine.ResetSpins(1);
    engine.InitLocalFields(3.0);
    for (const auto& [branch, from, to] : {std::tuple{Branch::Descending, 3.0, -3.0}, std::tuple{Branch::Ascending, -3.0, 3.0}}) {
      double H = from;
      while (const auto next = engine.NextAvalancheField(branch, H, to)) {
        H = *next;
        engine.Avalanche(H, branch);
        ++avalanches;
      }
    }
  }
  const double sites = static_cast<double>(n) * n;
  state.counters["avalanches"] = benchmark::Counter(static_cast<double>(avalanches), benchmark::Counter::kAvgIterations);
  state.counters["peak_bytes_per_site"] = PeakResidentBytes() / sites;
}

// Down from 3 to -3 and back in `values` field values.
void BM_StableSteps(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int values = static_cast<int>(state.range(1));
  StableRelaxation engine = EngineOf(n, state.range(2) != 0);
  const double step = 12.0 / values;
  std::int64_t sum = 0;
  for (auto _ : state) {
    engine.ResetSpins(1);
    engine.InitLocalFields(3.0);
    for (int k = 0; k < values; ++k) {
      const bool down = k < values / 2;
      engine.Relax(down ? 3.0 - k * step : -3.0 + (k - values / 2) * step, down ? Branch::Descending : Branch::Ascending);
    }
    sum += engine.SpinSum();
  }
  benchmark::DoNotOptimize(sum);
}

BENCHMARK(BM_AdiabaticLoop)->ArgName("side")->Arg(300)->Arg(2000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StableSteps)
    ->ArgNames({"side", "values", "events"})
    ->ArgsProduct({{1000}, {302, 3002}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
