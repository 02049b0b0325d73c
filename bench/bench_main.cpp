// Benchmarks run headless: the window's drawing goes to the offscreen
// platform, laid out as the program lays it out.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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
  // The side-10,000 run only when a filter asks for it.
  std::vector<char*> args(argv, argv + argc);
  char skipLarge[] = "--benchmark_filter=-Side10000";
  bool filtered = false;
  for (int k = 1; k < argc; ++k) filtered |= std::strncmp(argv[k], "--benchmark_filter", 18) == 0;
  if (!filtered) args.push_back(skipLarge);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
  argc = count;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
