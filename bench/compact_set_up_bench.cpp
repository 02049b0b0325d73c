// The compact set-up ("Run LEE Constants" and "Run QRF Fields" for a side
// beyond the window's) on 1 and 2 threads, with the window's default texts.
// Side 10,000 (10^8 sites, about 1 GB) runs only when asked for, with
// --benchmark_filter=Side10000. The CPU column is the whole process's.

#include <benchmark/benchmark.h>

#include <string>

#include "form/field_parameters.h"
#include "form/headless_form.h"
#include "setup/compact_set_up.h"

using namespace ebsim;

namespace {

void SetUpOnThreads(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  HeadlessFields fields;
  fields.Set(Input::Side, std::to_string(side));
  HeadlessReadouts readouts;
  const FormPort port{fields, readouts, nullptr};
  const FieldParameters parameters(fields);
  for (auto _ : state) {
    RandomNumbers random;
    const char* stage = "";
    CompactLattice lattice = SetUpCompactLattice(port, parameters, side, random, FixedClock(1), stage,
                                                 static_cast<int>(state.range(1)));
    benchmark::DoNotOptimize(lattice.RandomFields());
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}

void BM_CompactSetUp(benchmark::State& state) { SetUpOnThreads(state); }
void BM_CompactSetUpSide10000(benchmark::State& state) { SetUpOnThreads(state); }

BENCHMARK(BM_CompactSetUp)
    ->ArgNames({"side", "threads"})
    ->Args({1000, 1})
    ->Args({1000, 2})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactSetUpSide10000)
    ->ArgNames({"side", "threads"})
    ->Args({10000, 1})
    ->Args({10000, 2})
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
