// The pass dynamics at side 2,000 along the loop from 3 down to -3 and back
// in 300, 3,000 and 30,000 steps, by the pass engine and by the event
// engine, each on one thread, and by the engine auto chooses for that Run;
// visits counts the sites the event engine evaluated per step.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/drawn_lattice.h"
#include "engine/event_relaxation.h"
#include "engine/parallel_relaxation.h"
#include "form/field_parameters.h"
#include "form/headless_form.h"
#include "run/engine_choice.h"
#include "run/field_schedule.h"

using namespace ebsim;

namespace {

struct LoopLegs {
  double start;
  std::vector<double> legs[2];
};

// The loop of about `steps` steps.
LoopLegs LoopOf(int steps) {
  const HysteresisLoop loop(3, -3, 12.0 / steps);
  return {loop.StartField(), {LegFields(loop, 0), LegFields(loop, 1)}};
}

const Branch kBranches[2] = {Branch::Descending, Branch::Ascending};

void PassLoop(benchmark::State& state) {
  const int n = 2000;
  const LoopLegs loop = LoopOf(static_cast<int>(state.range(0)));
  ParallelRelaxation engine(DrawnLattice(n), std::vector<std::int8_t>(static_cast<std::size_t>(n) * n, 1));
  for (auto _ : state) {
    engine.ResetSpins(1);
    engine.InitLocalFields(loop.start);
    for (int k = 0; k < 2; ++k)
      for (const double H : loop.legs[k]) engine.Relax(H, kBranches[k]);
    benchmark::DoNotOptimize(engine.SpinSum());
  }
  state.counters["steps"] = static_cast<double>(loop.legs[0].size() + loop.legs[1].size());
}

void EventLoop(benchmark::State& state) {
  const int n = 2000;
  const LoopLegs loop = LoopOf(static_cast<int>(state.range(0)));
  EventRelaxation engine(DrawnLattice(n), std::vector<std::int8_t>(static_cast<std::size_t>(n) * n, 1));
  double visits = 0;
  for (auto _ : state) {
    engine.ResetSpins(1);
    engine.InitLocalFields(loop.start);
    visits = 0;
    for (int k = 0; k < 2; ++k) {
      engine.ExpectFields(loop.legs[k]);
      for (const double H : loop.legs[k]) {
        engine.Relax(H, kBranches[k]);
        visits += static_cast<double>(engine.Visits());
      }
    }
    benchmark::DoNotOptimize(engine.SpinSum());
  }
  const double steps = static_cast<double>(loop.legs[0].size() + loop.legs[1].size());
  state.counters["steps"] = steps;
  state.counters["visits_per_step"] = visits / steps;
}

void BM_PassEngineLoop(benchmark::State& state) { PassLoop(state); }
void BM_EventEngineLoop(benchmark::State& state) { EventLoop(state); }

// The loop by the engine auto takes for a Run of these steps at side 2,000
// on one thread (the counter events says which).
void BM_AutoEngineLoop(benchmark::State& state) {
  HeadlessFields fields;
  fields.Set(Input::Side, "2000");
  fields.Set(Input::Steps, std::to_string(state.range(0)));
  const bool events = ChosenEngine(ModelOptions{}, FieldParameters(fields), 2000, 1).engine == LatticeEngine::PassEvents;
  events ? EventLoop(state) : PassLoop(state);
  state.counters["events"] = events ? 1 : 0;
}

BENCHMARK(BM_PassEngineLoop)->ArgName("steps")->Arg(300)->Arg(3000)->Arg(30000)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EventEngineLoop)->ArgName("steps")->Arg(300)->Arg(3000)->Arg(30000)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_AutoEngineLoop)->ArgName("steps")->Arg(300)->Arg(3000)->Arg(30000)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
