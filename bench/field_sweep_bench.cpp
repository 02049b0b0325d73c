// The Run's cost: the relaxation engine alone (302 passes at the default
// fields, on one thread from the set-up's maps, as the window's Run takes
// it) in nanoseconds per site visit, the full-recomputation reference and
// their ratio, and the whole Run in the offscreen window with all its
// drawing.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bench/step_list.h"
#include "form/field_parameters.h"
#include "form/headless_form.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"
#include "run/field_sweep.h"
#include "run/lattice_relaxation.h"
#include "tests/reference_relaxation.h"

#ifdef EB_BENCH_WINDOW
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "app/code_KVORAL_QVTR_03_100.h"
#endif

using namespace ebsim;

namespace {

constexpr std::uint32_t kSeedMs = 45296789;


// A lattice of side n set up by the two set-up runs with the window's
// default texts, and the field steps a default Run takes on it.
struct Prepared {
  std::unique_ptr<LatticeState> lattice = std::make_unique<LatticeState>();
  std::vector<FieldStep> steps;
  int n = 0;

  explicit Prepared(int side) : n(side) {
    HeadlessFields fields;
    fields.Set(Input::Side, std::to_string(side));
    HeadlessReadouts readouts;
    NullSurface nothing;
    const FormPort port{fields, readouts, &nothing};
    RandomNumbers random;
    RunExchangeEnhancement(port, FieldParameters(port.fields), *lattice, random, FixedClock(kSeedMs));
    RunRandomField(port, FieldParameters(port.fields), *lattice, random);
    StepList list;
    RunHysteresis(port, FieldParameters(port.fields), *lattice, &list);  // leaves every spin up again
    steps = list.steps;
  }

  double Visits() const { return static_cast<double>(steps.size()) * n * n; }
};

// The Run's relaxation with nothing drawn: the initial pass at H0 and one
// pass per field step.
void RunEngine(Prepared& p) {
  p.lattice->SpinMap.FillBlock(p.n, 1.0);
  ParallelRelaxation relaxation = RelaxationOnMaps(*p.lattice, p.n);
  relaxation.InitLocalFields(p.steps.front().H);
  for (const FieldStep& s : p.steps) relaxation.Relax(s.H, s.branch);
  benchmark::DoNotOptimize(relaxation.SpinSum());
}

void RunReference(Prepared& p) {
  p.lattice->SpinMap.FillBlock(p.n, 1.0);
  ReferenceRelaxation reference(*p.lattice, p.n);
  reference.InitLocalFields(p.steps.front().H);
  for (const FieldStep& s : p.steps) reference.Relax(s.H, s.branch);
  benchmark::DoNotOptimize(p.lattice->SpinMap(1, 1));
}

double SecondsOf(void (*run)(Prepared&), Prepared& p) {
  const auto start = std::chrono::steady_clock::now();
  run(p);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_RelaxationEngine(benchmark::State& state) {
  Prepared p(static_cast<int>(state.range(0)));
  for (auto _ : state) RunEngine(p);
  state.counters["visits"] = p.Visits();
  state.counters["ns_per_visit"] =
      benchmark::Counter(p.Visits(), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RelaxationEngine)->ArgName("side")->Arg(20)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

// The reference's time per visit, and the engine's on the same lattice and
// steps within the same iteration, so that the ratio sees the same load.
void BM_FullRecomputationReference(benchmark::State& state) {
  Prepared p(static_cast<int>(state.range(0)));
  double reference = 0, engine = 0;
  for (auto _ : state) {
    const double r = SecondsOf(RunReference, p);
    engine += SecondsOf(RunEngine, p);
    reference += r;
    state.SetIterationTime(r);
  }
  const double visits = p.Visits() * static_cast<double>(state.iterations());
  state.counters["ns_per_visit"] = reference / visits * 1e9;
  state.counters["engine_ns_per_visit"] = engine / visits * 1e9;
  state.counters["reference_to_engine"] = reference / engine;
}
BENCHMARK(BM_FullRecomputationReference)
    ->ArgName("side")
    ->Arg(20)
    ->Arg(40)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

#ifdef EB_BENCH_WINDOW
// "Run" clicked on the shown offscreen window after the two set-up runs,
// with every square, trace point, read-out and repaint of the real Run.
void BM_WindowRun(benchmark::State& state) {
  TForm1 form;
  std::vector<std::string> errors;
  form.SetErrorReport([&](const std::string& message) { errors.push_back(message); });
  form.SetClock(std::make_unique<FixedClock>(kSeedMs));
  form.Edit(InputField::Edit5)->setText(QString::number(state.range(0)));
  form.show();
  QApplication::processEvents();
  form.Button1->click();
  form.Button2->click();
  for (auto _ : state) {
    form.Button3->click();
    QApplication::processEvents();
  }
  if (!errors.empty()) state.SkipWithError(errors.front().c_str());
  state.counters["visits"] = 302.0 * static_cast<double>(state.range(0) * state.range(0));
}
BENCHMARK(BM_WindowRun)->ArgName("side")->Arg(20)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
