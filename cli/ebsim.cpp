// ebsim: the simulator without its window, for scripts and batch studies.

#include <atomic>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_options.h"
#include "cli/merge_command.h"
#include "cli/render_command.h"
#include "cli/rerun_command.h"
#include "cli/run_command.h"
#include "cli/study_command.h"
#include "cli/sweep_command.h"
#ifdef EB_MPI
#include "cluster/mpi_session.h"
#endif

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

// Under a launcher of several ranks only a sweep runs (a study is one):
// every rank must run the one sweep, and a rank that ran something else and
// ended as if well would leave the others waiting for it for ever.
bool RefusedOnRanks(const std::vector<std::string>& args) {
#ifdef EB_MPI
  if (!args.empty() && (args[0] == "sweep" || args[0] == "study")) return false;
  const int ranks = LaunchedRanks();
  if (ranks <= 1) return false;
  const std::string command = args.empty() ? "ebsim" : "ebsim " + args[0];
  std::cerr << command << ": started as one of " << ranks
            << " ranks of an MPI job, where every rank must run the same 'ebsim sweep'; run '" << command
            << "' without mpirun or srun\n";
  return true;
#else
  (void)args;
  return false;
#endif
}

}  // namespace

static int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (RefusedOnRanks(args)) return 2;
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
  std::atomic<bool> stop{false};
  if (args[0] == "sweep") return SweepCommand(rest, std::cout, std::cerr, stop);
  if (args[0] == "study") return StudyCommand(rest, std::cout, std::cerr, stop);
  if (args[0] == "rerun") return RerunCommand(rest, std::cout, std::cerr, stop);
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
