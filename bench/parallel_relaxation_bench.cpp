// The pass-at-a-time engine: nanoseconds per site visit over a default Run
// (the initial pass and 302 passes from H = 3 down to -3 and back in steps
// of 0.04) at side 300 from the set-up runs, at side 2,000 on 1 and 2
// threads, and at side 10,000 on 2 threads with its memory. The side-10,000
// run takes tens of seconds and about 1.5 GB: it runs only when asked for,
// with --benchmark_filter=Side10000. The CPU column is the whole process's,
// all threads together.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <memory>
#include <random>
#include <vector>

#include "bench/drawn_lattice.h"
#include "bench/step_list.h"
#include "form/field_parameters.h"
#include "form/headless_form.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"
#include "run/field_sweep.h"
#include "engine/parallel_relaxation.h"
#include "run/relaxation_inputs.h"

using namespace ebsim;

namespace {


// Side 300 as the two set-up runs leave it with the default texts.
CompactLattice SetUpLattice(int n) {
  HeadlessFields fields;
  fields.Set(Input::Side, std::to_string(n));
  HeadlessReadouts readouts;
  const FormPort port{fields, readouts, nullptr};
  auto lattice = std::make_unique<LatticeState>();
  RandomNumbers random;
  RunExchangeEnhancement(port, FieldParameters(port.fields), *lattice, random, FixedClock(45296789));
  RunRandomField(port, FieldParameters(port.fields), *lattice, random);
  return CompactLatticeOf(*lattice, n);
}

void RunOnce(ParallelRelaxation& engine, const std::vector<FieldStep>& steps) {
  engine.ResetSpins(1);
  engine.InitLocalFields(steps.front().H);
  for (const FieldStep& s : steps) engine.Relax(s.H, s.branch);
  benchmark::DoNotOptimize(engine.SpinSum());
}

void Measure(benchmark::State& state, CompactLattice lattice) {
  const std::vector<FieldStep> steps = DefaultSteps();
  const int n = lattice.Side();
  RelaxationOptions options;
  options.threads = static_cast<int>(state.range(1));
  ParallelRelaxation engine(std::move(lattice), std::vector<std::int8_t>(static_cast<std::size_t>(n) * n, 1), options);
  for (auto _ : state) RunOnce(engine, steps);
  const double visits = static_cast<double>(steps.size()) * n * n;
  state.counters["ns_per_visit"] =
      benchmark::Counter(visits, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["engine_MB"] = static_cast<double>(engine.MemoryBytes()) / 1e6;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1e3;
  state.SetLabel(SimdLevelName(engine.Simd()));
}

void BM_PassAtATime(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Measure(state, n <= kMaxSide ? SetUpLattice(n) : DrawnLattice(n));
}
BENCHMARK(BM_PassAtATime)
    ->ArgNames({"side", "threads"})
    ->Args({300, 1})
    ->Args({2000, 1})
    ->Args({2000, 2})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_PassAtATimeSide10000(benchmark::State& state) { Measure(state, DrawnLattice(10000)); }
BENCHMARK(BM_PassAtATimeSide10000)
    ->ArgNames({"side", "threads"})
    ->Args({10000, 2})
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
