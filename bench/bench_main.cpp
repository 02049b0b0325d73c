// Benchmarks run headless: the window's drawing goes to the offscreen
// platform, laid out as the program lays it out.

#include <benchmark/benchmark.h>

#include <cstdlib>

#ifdef EB_BENCH_WINDOW
#include <QApplication>

#include "app/window_setup.h"

using namespace ebsim;
#endif

int main(int argc, char** argv) {
#ifdef EB_BENCH_WINDOW
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  DisableLayoutScaling();
  QApplication application(argc, argv);
  PrepareApplication();
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
