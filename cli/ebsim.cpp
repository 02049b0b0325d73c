// ebsim: the simulator without its window, for scripts and batch studies.

#include <atomic>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/run_command.h"
#include "cli/sweep_command.h"
#include "cli/render_command.h"

using namespace ebsim;

namespace {

const char* const kRunUsage =
    "Usage: ebsim run [--seed-ms S] [--side T] [--dilution T] [--enhancement T] [--sd T]\n"
    "                 [--h0 T] [--hmin T] [--steps T] [--sep C] [--loop] [--maps]\n"
    "                 [--loop-csv FILE]\n";
const char* const kSweepUsage =
    "Usage: ebsim sweep [--seed-ms S] [--side V] [--dilution V] [--enhancement V] [--sd V]\n"
    "                   [--h0 V] [--hmin V] [--steps V] [--sep C] [--realizations R]\n"
    "                   [--threads T] [--out FILE] [--summary FILE]\n"
    "         V: a text, a list a;b;c (or a,b,c), or a range start:end:step\n";
const char* const kRenderUsage =
    "Usage: ebsim render --png FILE [--seed-ms S] [--side T] [--dilution T] [--enhancement T]\n"
    "                    [--sd T] [--h0 T] [--hmin T] [--steps T] [--sep C]\n";

// The three usages under one "Usage: ", aligned.
std::string AllUsages() {
  const std::string blank(std::string_view("Usage: ").size(), ' ');
  return kRunUsage + blank + (kSweepUsage + blank.size()) + blank + (kRenderUsage + blank.size());
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

static int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << AllUsages();
    return 2;
  }
  if (IsHelp(args[0])) {
    std::cout << AllUsages();
    return 0;
  }
  // `ebsim COMMAND --help`: that command's usage.
  if (args.size() == 2 && IsHelp(args[1])) {
    const std::pair<const char*, const char*> usages[] = {
        {"run", kRunUsage}, {"sweep", kSweepUsage}, {"render", kRenderUsage}};
    for (const auto& [command, usage] : usages) {
      if (args[0] != command) continue;
      std::cout << usage;
      return 0;
    }
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "run") return RunCommand(rest, std::cout, std::cerr);
  if (args[0] == "render") return RenderCommand(rest, std::cerr);
  if (args[0] == "sweep") {
    std::atomic<bool> stop{false};
    return SweepCommand(rest, std::cout, std::cerr, stop);
  }
  std::cerr << "ebsim: unknown command '" << args[0] << "'\n" << AllUsages();
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
