#pragma once
// A sweep across the ranks of an MPI job. Rank 0 deals the work items out
// as they are asked for (a rank that finishes asks for more, so uneven
// sides and thread counts balance), runs items on its own threads too, and
// alone hands the rows over; every other rank runs what it is dealt on its
// own threads and sends the rows back.

#include <atomic>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>

#include "batch/sweep_runner.h"

namespace ebsim {

// First of all, every other rank: sends rank 0 its command line (the
// arguments after "sweep") and why it cannot run it (empty: it can).
void SendCommandLine(std::span<const std::string> args, const std::string& refusal);
// First of all, rank 0: whether every rank runs `args`, and can where rank 0
// can (`readable`); says on `err` which rank does not, and what it runs.
bool RanksRunThisLine(std::span<const std::string> args, bool readable, std::ostream& err);

// Rank 0: RunSweep's contract over the whole job. A rank that was stopped
// stops the sweep as `stop` does.
bool RunSweepAcrossRanks(const SweepPlan& plan, const std::function<void(const SweepRow&)>& onRow,
                         const std::function<void(std::size_t finished)>& onProgress, const std::atomic<bool>& stop);

// Rank 0, last, whether the sweep ran or not: tells the other ranks the
// exit code and waits until each has said goodbye. Returns the code; a
// rank silent beyond SilenceLimit() is named and the job ends at once
// with the code.
int EndSweepOnRanks(int code);

// Every other rank: runs the items rank 0 deals out until rank 0 ends the
// sweep, and returns the exit code it sends; a sign of life goes to rank 0
// every second meanwhile. A rank without a plan (it could not read the
// command line, or was asked for help) stops a sweep rank 0 starts
// nonetheless. Rank 0 gives the seed.
int ServeSweep(const SweepPlan* plan, const std::atomic<bool>& stop);

}  // namespace ebsim
