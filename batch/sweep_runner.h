#pragma once
// Runs every realisation of every grid point of a sweep on a pool of
// threads, each with its own lattice, and hands the finished rows over in
// row order. The results do not depend on the number of threads.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/physics_names.h"
#include "run/loop_csv.h"
#include "run/avalanche_sizes.h"
#include "run/model_options.h"
#include "run/written_readouts.h"
#include "batch/sweep_grid.h"

namespace ebsim {

class Simulator;
struct RunOutcome;

// One cycle's numbers in a realisation of a protocol of several cycles:
// its read-outs (the set-up's with the cycle's loop read-outs) and steps.
struct CycleNumbers {
  ReadoutNumbers readouts{};
  std::int64_t descendingSteps = 0;
  std::int64_t ascendingSteps = 0;
};

struct SweepRow {
  std::uint64_t index = 0;  // point * realizations + realization
  std::size_t point = 0;
  std::uint64_t realization = 0;
  std::uint32_t seedMs = 0;
  // Each written read-out's number at the end, where it shows one, rounded
  // to double as ebsim run reports it.
  ReadoutNumbers readouts{};
  std::int64_t descendingSteps = 0;
  std::int64_t ascendingSteps = 0;
  std::string error;  // the error box's text of a failed realisation
  // With the grid's Cycles(): every cycle's numbers, cycle 1 first (those
  // of cycles a failed Run never reached hold the set-up's read-outs only).
  std::vector<CycleNumbers> cycles;
  // An adiabatic realisation's avalanche sizes per branch.
  AvalancheSizes avalanches;
  std::vector<LoopPoint> loop;  // the realisation's loop, with plan.keepLoops
  // With plan.keepSpins: the spins at Hmin, side x side row by row (none
  // when the realisation failed before its turning point).
  std::vector<std::int8_t> spins;
  // With plan.keepSpins and the model's spinsAt: the spins after each of
  // those steps instead, as (step, spins).
  std::vector<std::pair<std::int64_t, std::vector<std::int8_t>>> stepSpins;
  int side = 0;
};

// A share of a sweep's work items (index = point * realizations +
// realization): the items index, index + count, index + 2 count, ... Shards
// 0/N to N-1/N together hold every item once.
struct SweepShard {
  std::uint64_t index = 0;
  std::uint64_t count = 1;
};
// "K/N" with 0 <= K < N; throws std::invalid_argument.
SweepShard ParseShard(const std::string& text);
std::string ShardText(const SweepShard& shard);

struct SweepPlan {
  const SweepGrid* grid = nullptr;
  std::uint64_t realizations = 1;
  std::uint32_t seedMs = 0;
  unsigned threads = 1;
  SweepShard shard{};           // the items this run takes
  std::uint64_t skipItems = 0;  // of those, the first ones already done
  bool keepLoops = false;       // rows carry their loop
  bool keepSpins = false;       // rows carry their spins at Hmin
  // Sides beyond the window's 300, held compactly; their realisations each
  // take `innerThreads` of the threads, the rest run side by side.
  bool largeSides = false;
  unsigned innerThreads = 1;
  ModelOptions model = {};  // every realisation's dynamics, boundary and protocol
};

// The processors this process may run on (its affinity mask), at least 1.
unsigned AvailableProcessors();

// From this side on one realisation is faster on all threads than several
// realisations side by side on one thread each: the lattice no longer fits
// in the caches, and the passes stream it from memory.
inline constexpr int kSideForInnerThreads = 1000;
// The threads of one realisation for a sweep over these sides: all of them
// from kSideForInnerThreads on, one below.
unsigned InnerThreads(const SweepGrid& grid, unsigned threads);

// The row of a Run's outcome: its read-outs, steps and error, and with
// `cycles` above 0 that many cycles' numbers (the caller places it in a
// sweep).
SweepRow RowOfOutcome(const RunOutcome& outcome, int cycles = 0);

// One realisation, as ebsim run would run it with that seed.
SweepRow RunRealization(const SweepPlan& plan, std::uint64_t index, const std::atomic<bool>* stop = nullptr);
// The same on a simulator kept from one realisation to the next, as a
// thread of a sweep does (a fresh simulator sets its lattice up anew).
SweepRow RunRealization(const SweepPlan& plan, std::uint64_t index, Simulator& simulator,
                        const std::atomic<bool>* stop = nullptr);

// The most threads any run or sweep takes, whatever it is asked for: more
// only hold lattices that wait for a processor.
inline constexpr unsigned kMostThreads = 256;

// Grid points times realisations; 0 when the product does not fit in 64 bits.
std::uint64_t SweepRowCount(const SweepPlan& plan);
// The items of the plan's shard, and the global index of its k-th item.
std::uint64_t ShardItemCount(const SweepPlan& plan);
std::uint64_t ShardItemIndex(const SweepPlan& plan, std::uint64_t k);
// The rows RunSweep hands over when nothing stops it: the shard's items
// after the skipped ones.
std::uint64_t PlannedRowCount(const SweepPlan& plan);
// The most rows RunSweep holds at once, each with its loop and spins when
// kept: those under way, those finished before their turn, and those
// being handed over.
std::uint64_t RowWindow(const SweepPlan& plan);
// The most field steps of a Run on these fields, from their number of
// steps (the two branches take a few more at their ends); 0 when that is
// no number.
std::uint64_t LoopStepBound(const FieldTexts& fields);
// The same for the model's protocol: the loop's bound times its cycles, or
// the field history's values.
std::uint64_t ProtocolStepBound(const FieldTexts& fields, const ModelOptions& model);
// The realisations the plan runs side by side: its threads over the
// threads of one realisation, but no more than there are rows or than
// kMostThreads.
unsigned SweepThreads(const SweepPlan& plan);

// Runs the plan's shard from its first item not skipped. `onRow` receives the finished rows in index order, from the
// calling thread; `onProgress` gets the count of finished rows now and then.
// When `stop` becomes true no further realisation starts, those under way
// are abandoned, and the rows finished so far are still handed over (in
// order, with gaps where realisations were abandoned). Only a few rows per
// thread are ever held in memory (RowWindow), whatever the row count.
// Returns whether every row was finished. What `onRow` throws goes on once
// the realisations under way have ended, and none starts after it. A
// realisation that memory cannot hold is a failed row.
bool RunSweep(const SweepPlan& plan, const std::function<void(const SweepRow&)>& onRow,
              const std::function<void(std::size_t finished)>& onProgress, const std::atomic<bool>& stop);

}  // namespace ebsim
