// ebsim: the simulator without its window, for scripts and batch studies.

#include <atomic>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/run_command.h"
#include "cli/sweep_command.h"
#include "cli/render_command.h"

using namespace ebsim;

namespace {

const char* const kUsage =
    "usage: ebsim run [--seed-ms S] [--side T] [--dilution T] [--enhancement T] [--sd T]\n"
    "                 [--h0 T] [--hmin T] [--steps T] [--sep C] [--loop] [--maps]\n"
    "                 [--loop-csv FILE]\n"
    "       ebsim sweep [--seed-ms S] [--side V] [--dilution V] [--enhancement V] [--sd V]\n"
    "                   [--h0 V] [--hmin V] [--steps V] [--sep C] [--realizations R]\n"
    "                   [--threads T] [--out FILE] [--summary FILE]\n"
    "         V: a text, a list a;b;c (or a,b,c), or a range start:end:step\n"
    "       ebsim render --png FILE [the options of ebsim run]\n";

}  // namespace

static int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "run") return RunCommand(rest, std::cout, std::cerr);
  if (args[0] == "render") return RenderCommand(rest, std::cerr);
  if (args[0] == "sweep") {
    std::atomic<bool> stop{false};
    return SweepCommand(rest, std::cout, std::cerr, stop);
  }
  std::cerr << "ebsim: unknown command '" << args[0] << "'\n" << kUsage;
  return 2;
}

int main(int argc, char** argv) {
  // Whatever goes wrong, say so and exit with 1: never an abort.
  try {
    return Main(argc, argv);
  } catch (const std::exception& failure) {
    std::cerr << "ebsim: " << failure.what() << "\n";
  } catch (...) {
    std::cerr << "ebsim: unexpected failure\n";
  }
  return 1;
}
