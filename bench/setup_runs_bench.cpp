// "Run LEE Constants" and "Run QRF Fields" on the largest lattice, without
// drawing and drawing into the window. Each benchmark also reports the
// allocations per run, which must not grow with the side: the maps are
// allocated once and nothing is allocated per site.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "form/drawing_surface.h"
#include "form/field_parameters.h"
#include "form/form_fields.h"
#include "bench/allocation_counter.h"
#include "model/lattice_state.h"
#include "model/random_numbers.h"
#include "model/utc_clock.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"

#ifdef EB_BENCH_WINDOW
#include <QApplication>
#include <QLineEdit>

#include "app/code_KVORAL_QVTR_03_100.h"
#endif

using namespace ebsim;

namespace {

// The window's default texts, with the side given.
class DefaultFields final : public FieldTexts {
 public:
  explicit DefaultFields(int side) { texts_[Input::Side] = std::to_string(side); }
  std::string Text(Input field) const override { return texts_.at(field); }
  DecimalSeparator Separator() const override { return {}; }

 private:
  std::map<Input, std::string> texts_ = {
      {Input::Side, "20"}, {Input::Dilution, "0.04"}, {Input::Enhancement, "10"}, {Input::FieldSd, "2"},
      {Input::H0, "3"},    {Input::Hmin, "-3"},       {Input::Steps, "300"},
  };
};

class DiscardedReadouts final : public ReadoutFields {
 public:
  void SetReadout(Quantity, const ReadoutValue&) override {}
};

const FixedClock kMidnight(0);

// Times `run` and reports sites per second and allocations per run.
template <class Run>
void Measure(benchmark::State& state, int side, Run&& run) {
  std::size_t allocations = 0;
  for (auto _ : state) {
    const std::size_t before = AllocationCount();
    run();
    allocations += AllocationCount() - before;
  }
  state.SetItemsProcessed(state.iterations() * side * side);
  state.counters["allocs_per_run"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

void BM_ExchangeRun_WithoutDrawing(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  DefaultFields fields(side);
  DiscardedReadouts readouts;
  NullSurface surface;
  const FormPort port{fields, readouts, &surface};
  auto lattice = std::make_unique<LatticeState>();
  RandomNumbers random;
  Measure(state, side, [&] { RunExchangeEnhancement(port, FieldParameters(port.fields), *lattice, random, kMidnight); });
}
BENCHMARK(BM_ExchangeRun_WithoutDrawing)->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_RandomFieldRun_WithoutDrawing(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  DefaultFields fields(side);
  DiscardedReadouts readouts;
  NullSurface surface;
  const FormPort port{fields, readouts, &surface};
  auto lattice = std::make_unique<LatticeState>();
  RandomNumbers random;
  RunExchangeEnhancement(port, FieldParameters(port.fields), *lattice, random, kMidnight);
  Measure(state, side, [&] { RunRandomField(port, FieldParameters(port.fields), *lattice, random); });
}
BENCHMARK(BM_RandomFieldRun_WithoutDrawing)->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond);

#ifdef EB_BENCH_WINDOW

// A shown window on the offscreen platform, fed the default texts.
struct Window {
  explicit Window(int side) : fields(side) {
    form.SetClock(std::make_unique<FixedClock>(0));
    form.Edit(InputField::Edit5)->setText(QString::number(side));
    form.show();
    QApplication::processEvents();
  }
  // What a click does after its handler: show what was drawn.
  void Show() {
    form.Surface().Flush();
    QApplication::processEvents();
  }
  FormPort Port() { return FormPort{fields, form, &form.Surface()}; }

  DefaultFields fields;
  TForm1 form;
};

void BM_ExchangeRun_DrawingIntoWindow(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Window window(side);
  Measure(state, side, [&] {
    RunExchangeEnhancement(window.Port(), FieldParameters(window.fields), window.form.Lattice(), window.form.Random(), kMidnight);
    window.Show();
  });
}
BENCHMARK(BM_ExchangeRun_DrawingIntoWindow)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_RandomFieldRun_DrawingIntoWindow(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Window window(side);
  RunExchangeEnhancement(window.Port(), FieldParameters(window.fields), window.form.Lattice(), window.form.Random(), kMidnight);
  Measure(state, side, [&] {
    RunRandomField(window.Port(), FieldParameters(window.fields), window.form.Lattice(), window.form.Random());
    window.Show();
  });
}
BENCHMARK(BM_RandomFieldRun_DrawingIntoWindow)->Arg(300)->Unit(benchmark::kMillisecond);

// The whole click, the window's own edit fields read as the runs go.
void BM_Button1Click(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Window window(side);
  Measure(state, side, [&] {
    window.form.Button1Click();
    window.Show();
  });
}
BENCHMARK(BM_Button1Click)->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_Button2Click(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Window window(side);
  window.form.Button1Click();
  Measure(state, side, [&] {
    window.form.Button2Click();
    window.Show();
  });
}
BENCHMARK(BM_Button2Click)->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond);

#endif

}  // namespace
