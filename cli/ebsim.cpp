// ebsim: the simulator without its window, for scripts and batch studies.

#include <atomic>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_options.h"
#include "cli/merge_command.h"
#include "cli/render_command.h"
#include "cli/run_command.h"
#include "cli/sweep_command.h"

using namespace ebsim;

namespace {

const CommandSpec* CommandNamed(const std::string& name) {
  for (const CommandSpec* command : Commands())
    if (command->name == name) return command;
  return nullptr;
}

// ebsim help [CMD]
int Help(const std::vector<std::string>& rest) {
  if (rest.empty()) {
    std::cout << ProgramHelp();
    return 0;
  }
  const CommandSpec* command = CommandNamed(rest[0]);
  if (!command || rest.size() > 1) {
    std::cerr << "ebsim help: unknown command '" << rest[0] << "'\n" << ProgramHelp();
    return 2;
  }
  std::cout << CommandHelp(*command);
  return 0;
}

}  // namespace

static int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << ProgramHelp();
    return 2;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "--help" || args[0] == "-h") return Help({});
  if (args[0] == "help") return Help(rest);
  if (args[0] == "--version") {
    std::cout << VersionText() << "\n";
    return 0;
  }
  if (args[0] == "run") return RunCommand(rest, std::cout, std::cerr);
  if (args[0] == "render") return RenderCommand(rest, std::cerr);
  if (args[0] == "merge") return MergeCommand(rest, std::cout, std::cerr);
  if (args[0] == "sweep") {
    std::atomic<bool> stop{false};
    return SweepCommand(rest, std::cout, std::cerr, stop);
  }
  std::cerr << "ebsim: unknown command '" << args[0] << "'\n" << ProgramHelp();
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
