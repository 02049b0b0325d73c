#pragma once
// A sweep's plan from the texts a front end was given: the grid, the
// realisations, the threads, the shard, and every check made before anything
// runs (texts the Run refuses, sides beyond the window's 300, lattices that
// memory cannot hold). ebsim sweep, its MPI ranks and Python's ebsim.sweep
// all plan here, so that they take the same sweeps.

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/decimal_separator.h"
#include "batch/sweep_grid.h"
#include "batch/sweep_runner.h"

namespace ebsim {

// A sweep as asked for, every value the text an option of ebsim sweep takes.
struct SweepAsk {
  // Each input's values in turn, each a text, a list "a;b;c" or a range
  // "a:b:s"; an input not named keeps its default.
  std::map<Input, std::vector<std::string>> values;
  DecimalSeparator separator;
  std::optional<std::string> realizations;  // none: 1
  std::optional<std::string> threads;       // none: the processors
  std::optional<std::string> shard;         // "K/N"; none: the whole sweep
  bool keepLoops = false;
  bool keepSpins = false;
  // The dynamics, boundary and protocol of every realisation; a protocol
  // given cycles or a field history gives the tables a line per cycle.
  ModelOptions model = {};
  // How messages name an option: "--realizations" or "realizations".
  std::string optionPrefix = "--";
};

// A refused count or shard (the texts of the grid are refused with the
// window's Exception or std::invalid_argument).
class PlanOptionError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The plan and the grid it runs; the plan's seed is left to the caller.
struct PlannedSweep {
  std::unique_ptr<const SweepGrid> grid;
  SweepPlan plan;
};

// Throws the window's Exception, std::invalid_argument or PlanOptionError
// for the first thing refused, in the order of the fields above.
PlannedSweep PlanSweep(const SweepAsk& ask);

// A thread count as --threads takes it: a whole number of at least 1, more
// than kMostThreads taken as kMostThreads; throws PlanOptionError.
unsigned ThreadCount(const std::string& text, const std::string& option = "--threads");
// The processors this process may run on, at most kMostThreads.
unsigned DefaultThreadCount();

}  // namespace ebsim
