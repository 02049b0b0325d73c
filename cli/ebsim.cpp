// ebsim: the simulator without its window, for scripts and batch studies.

#include <iostream>
#include <string>
#include <vector>

#include "cli/run_command.h"

namespace {

const char* const kUsage =
    "usage: ebsim run [--seed-ms S] [--side T] [--dilution T] [--enhancement T] [--sd T]\n"
    "                 [--h0 T] [--hmin T] [--steps T] [--sep C] [--loop] [--maps]\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "run") return RunCommand(rest, std::cout, std::cerr);
  std::cerr << "ebsim: unknown command '" << args[0] << "'\n" << kUsage;
  return 2;
}
