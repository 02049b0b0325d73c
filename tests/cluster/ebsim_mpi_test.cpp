// ebsim sweep under mpirun: any number of ranks gives the very rows and
// tables of one process, and a sweep that is interrupted or loses a rank
// leaves whole files that --resume completes.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/process_helpers.h"

using namespace ebsim;

namespace {

std::vector<std::string> Mpirun(int ranks, const std::vector<std::string>& args) {
  // As root where CI runs so; no single-copy transfers, which containers
  // often forbid.
  std::vector<std::string> argv = {MPIRUN_PATH, "-n", std::to_string(ranks), "--oversubscribe", "--allow-run-as-root",
                                   "--mca", "btl_vader_single_copy_mechanism", "none", EBSIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

Finished RunProgram(const std::vector<std::string>& argv) {
  const ScratchDir streams;
  const int code = Wait(StartProgram(argv, streams / "out", streams / "err"));
  return {code, ReadFile(streams / "out"), ReadFile(streams / "err")};
}

// The table files of a sweep, written into `dir` under `prefix`.
const std::vector<std::string> kTables = {"runs", "summary", "loops", "loop_mean"};
std::vector<std::string> Outputs(const ScratchDir& dir, const std::string& prefix, std::size_t tables) {
  const char* options[] = {"--out", "--summary", "--loops", "--loop-mean"};
  std::vector<std::string> args;
  for (std::size_t k = 0; k < tables; ++k) args.insert(args.end(), {options[k], dir / (prefix + kTables[k] + ".csv")});
  return args;
}

void ExpectSameTables(const ScratchDir& dir, const std::string& a, const std::string& b, std::size_t tables) {
  for (std::size_t k = 0; k < tables; ++k)
    EXPECT_EQ(TableLines(ReadFile(dir / (a + kTables[k] + ".csv"))), TableLines(ReadFile(dir / (b + kTables[k] + ".csv"))))
        << b << kTables[k];
}

TEST(MpiSweepTest, AnyRanksAndThreadsGiveTheRowsOfOneProcess) {
  const ScratchDir dir;
  // Sides 20 and 120 mixed: items of very uneven work.
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "321", "--side", "20;120;24", "--dilution", "0;0.1",
                                          "--steps", "60", "--realizations", "5"};
  const Finished one = RunEbsim(With(With(sweep, {"--threads", "1"}), Outputs(dir, "one-", 4)));
  ASSERT_EQ(one.code, 0) << one.err;
  struct Case {
    int ranks;
    const char* threads;
  };
  for (const Case& c : {Case{2, "1"}, Case{3, "1"}, Case{2, "2"}}) {
    const std::string prefix = std::to_string(c.ranks) + "x" + c.threads + "-";
    const Finished mpi = RunProgram(Mpirun(c.ranks, With(With(sweep, {"--threads", c.threads}), Outputs(dir, prefix, 4))));
    ASSERT_EQ(mpi.code, 0) << prefix << mpi.err;
    EXPECT_EQ(mpi.err.find("ebsim"), std::string::npos) << prefix << ": no rank has anything to say\n" << mpi.err;
    ExpectSameTables(dir, "one-", prefix, 4);
  }
  EXPECT_EQ(TableLines(ReadFile(dir / "one-runs.csv")).size(), 1u + 3 * 2 * 5);
}

// The process ids of the ranks mpirun `parent` started with this rank number.
std::vector<pid_t> RankProcesses(pid_t parent, int rank) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || std::stoi(stat.substr(close + 4)) != parent) continue;
    const std::string environment = ReadFile(entry.path() / "environ");
    if (environment.find(std::string("OMPI_COMM_WORLD_RANK=") + std::to_string(rank) + '\0') != std::string::npos)
      found.push_back(std::stoi(name));
  }
  return found;
}

// Waits until the sweep in `dir` has written some rows (into the temporary
// file beside its target).
void AwaitRows(const ScratchDir& dir) {
  for (int tries = 0; tries < 600; ++tries) {
    std::uintmax_t written = 0;
    for (const std::string& name : dir.Names())
      if (name.rfind("part-", 0) != 0 && name != "whole-runs.csv" && name != "whole-summary.csv" && name != "out" &&
          name != "err" && fs::is_regular_file(dir / name))
        written += fs::file_size(dir / name);
    if (written > 4000) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  FAIL() << "no rows came";
}

TEST(MpiSweepTest, AnInterruptedSweepOrALostRankLeavesFilesThatResumeCompletes) {
  const ScratchDir dir;
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "9", "--side", "30", "--realizations", "2500"};
  const Finished whole = RunEbsim(With(With(sweep, {"--threads", "2"}), Outputs(dir, "whole-", 2)));
  ASSERT_EQ(whole.code, 0) << whole.err;
  struct Fault {
    const char* name;
    int signal;
    bool rankOne;         // sent to rank 1, not to mpirun
    std::string message;  // in what mpirun and rank 0 say
  };
  const Fault faults[] = {
      {"Ctrl-C", SIGINT, false, "ebsim sweep: stopped; "},
      {"SIGTERM", SIGTERM, false, "ebsim sweep: stopped; "},
      {"rank 1 killed", SIGKILL, true, "process rank 1 "},
  };
  for (const Fault& fault : faults) {
    const std::vector<std::string> outputs = Outputs(dir, "part-", 2);
    for (const std::string& name : dir.Names())
      if (name.rfind("part-", 0) == 0) fs::remove(dir / name);
    const pid_t mpirun = StartProgram(Mpirun(2, With(With(sweep, {"--threads", "1"}), outputs)), dir / "out", dir / "err");
    ASSERT_NO_FATAL_FAILURE(AwaitRows(dir)) << fault.name;
    const std::vector<pid_t> rankOne = RankProcesses(mpirun, 1);
    ASSERT_EQ(rankOne.size(), fault.rankOne ? 1u : rankOne.size()) << fault.name;
    kill(fault.rankOne ? rankOne.at(0) : mpirun, fault.signal);
    EXPECT_NE(Wait(mpirun), 0) << fault.name;
    const std::string err = ReadFile(dir / "err");
    EXPECT_NE(err.find(fault.message), std::string::npos) << fault.name << ": " << err;
    for (const char* table : {"part-runs.csv", "part-summary.csv"}) {
      const std::vector<std::string> lines = Lines(ReadFile(dir / table));
      ASSERT_FALSE(lines.empty()) << fault.name << " " << table;
      EXPECT_NE(lines.back().find("\"complete\":false"), std::string::npos) << fault.name << " " << table;
    }
    const Finished rest = RunProgram(Mpirun(2, With(With(sweep, outputs), {"--threads", "1", "--resume"})));
    ASSERT_EQ(rest.code, 0) << fault.name << ": " << rest.err;
    ExpectSameTables(dir, "whole-", "part-", 2);
  }
}

}  // namespace

namespace {

// A rank that cannot read its command line (its node differs, say) stops
// a sweep rank 0 started, says why, and the files are whole.
TEST(MpiSweepTest, ARankThatCannotReadItsLineSaysWhyAndTheFilesStayWhole) {
  const ScratchDir dir;
  const std::vector<std::string> sweep = {"sweep",         "--seed-ms", "9", "--realizations", "5000", "--threads", "1",
                                          "--out",         dir / "runs.csv"};
  std::vector<std::string> argv = Mpirun(1, With(sweep, {"--side", "30"}));
  argv.insert(argv.end(), {":", "-n", "1", EBSIM_PATH});
  argv = With(argv, With(sweep, {"--side", "30x"}));
  const Finished done = RunProgram(argv);
  EXPECT_EQ(done.code, 1) << done.err;
  EXPECT_NE(done.err.find("ebsim sweep: rank 1: '30x' is not a valid integer value."), std::string::npos) << done.err;
  const std::vector<std::string> lines = Lines(ReadFile(dir / "runs.csv"));
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("\"complete\":false"), std::string::npos) << lines.back();
}

}  // namespace
