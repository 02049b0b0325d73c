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

// The exit code of `pid` if it ends within `seconds`; else it is ended
// (a test must not hang) and the code is -2.
int WaitAtMost(pid_t pid, int seconds) {
  for (int tries = 0; tries < 20 * seconds; ++tries) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGTERM);
  Wait(pid);
  return -2;
}

// Whether the file at `path` holds `text` within `seconds`.
bool AwaitText(const std::string& path, const std::string& text, int seconds) {
  for (int tries = 0; tries < 20 * seconds; ++tries) {
    if (ReadFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// An environment variable set for the life of a test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
  ~ScopedVariable() { unsetenv(name_); }

 private:
  const char* name_;
};

// A rank stopped in the middle (a frozen node): rank 0 names it and
// waits for it; a signal then ends the sweep with whole files, whatever
// the stopped rank does, and --resume completes them. A signal to the
// ranks ends the job with 128 + the signal; mpirun itself, signalled,
// ends with 1 whatever the ranks say.
TEST(MpiSweepTest, AStoppedRankIsNamedAndASignalStillLeavesWholeFiles) {
  const ScratchDir dir;
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "5", "--side", "30", "--realizations", "800",
                                          "--threads", "1"};
  const Finished whole = RunEbsim(With(sweep, Outputs(dir, "whole-", 2)));
  ASSERT_EQ(whole.code, 0) << whole.err;
  struct Stop {
    const char* name;
    int signal;
    bool toMpirun;  // else to rank 0; mpirun wakes the stopped rank before
                    // it passes the signal on, which may then end the sweep whole
    int code;       // -1: any but 0
  };
  const Stop stops[] = {
      {"SIGTERM to mpirun", SIGTERM, true, -1},
      {"SIGTERM to rank 0", SIGTERM, false, 143},
      {"SIGINT to rank 0", SIGINT, false, 130},
  };
  for (const Stop& stop : stops) {
    for (const std::string& name : dir.Names())
      if (name.rfind("part-", 0) == 0) fs::remove(dir / name);
    const std::vector<std::string> outputs = Outputs(dir, "part-", 2);
    pid_t mpirun = 0;
    {
      const ScopedVariable silence("EBSIM_RANK_SILENCE", "2");
      mpirun = StartProgram(Mpirun(3, With(sweep, outputs)), dir / "out", dir / "err");
    }
    ASSERT_NO_FATAL_FAILURE(AwaitRows(dir)) << stop.name;
    const std::vector<pid_t> rankZero = RankProcesses(mpirun, 0), rankOne = RankProcesses(mpirun, 1);
    ASSERT_EQ(rankZero.size(), 1u) << stop.name;
    ASSERT_EQ(rankOne.size(), 1u) << stop.name;
    kill(rankOne[0], SIGSTOP);
    EXPECT_TRUE(AwaitText(dir / "err", "ebsim sweep: rank 1 has sent nothing for 2 s; it holds ", 60))
        << stop.name << ": " << ReadFile(dir / "err");
    kill(stop.toMpirun ? mpirun : rankZero[0], stop.signal);
    const int code = WaitAtMost(mpirun, 60);
    kill(rankOne[0], SIGKILL);
    if (stop.code < 0) EXPECT_TRUE(code != 0 && code != -2) << stop.name << ": " << code;
    else EXPECT_EQ(code, stop.code) << stop.name;
    const std::string err = ReadFile(dir / "err");
    if (!stop.toMpirun) {
      EXPECT_NE(err.find("ebsim sweep: stopped; "), std::string::npos) << stop.name << ": " << err;
    }
    for (const char* table : {"part-runs.csv", "part-summary.csv"}) {
      const std::vector<std::string> lines = Lines(ReadFile(dir / table));
      ASSERT_FALSE(lines.empty()) << stop.name << " " << table;
      const char* end = stop.toMpirun ? "\"complete\":" : "\"complete\":false";
      EXPECT_NE(lines.back().find(end), std::string::npos) << stop.name << " " << table << ": " << lines.back();
    }
    const Finished rest = RunProgram(Mpirun(2, With(With(sweep, outputs), {"--resume"})));
    ASSERT_EQ(rest.code, 0) << stop.name << ": " << rest.err;
    ExpectSameTables(dir, "whole-", "part-", 2);
  }
}

// Items far slower than the silence limit: the ranks that run them still
// say they are alive, so none is named.
TEST(MpiSweepTest, RanksBusyWithSlowItemsAreNotNamed) {
  const ScopedVariable silence("EBSIM_RANK_SILENCE", "1");
  const Finished done = RunProgram(Mpirun(2, {"sweep", "--seed-ms", "5", "--side", "800", "--steps", "2000",
                                              "--realizations", "4", "--threads", "1"}));
  EXPECT_EQ(done.code, 0) << done.err;
  EXPECT_EQ(done.err.find("ebsim"), std::string::npos) << done.err;
}

// Every rank of a launch must run the one sweep: a rank that runs another
// command, or another sweep, ends the job at once, saying what is wrong,
// before any file is made.
TEST(MpiSweepTest, ALaunchWhoseRanksRunOtherCommandsIsRefusedAtOnce) {
  const ScratchDir dir;
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "9", "--realizations", "5000", "--threads", "1",
                                          "--side", "30", "--out", dir / "runs.csv"};
  struct Other {
    std::vector<std::string> args;
    const char* message;
  };
  std::vector<std::string> otherSweep = sweep;
  otherSweep.at(8) = "30x";
  const Other others[] = {
      {{"run", "--seed-ms", "1", "--side", "10"}, "ebsim run: started as one of 2 ranks of an MPI job"},
      {{"--version"}, "ebsim --version: started as one of 2 ranks of an MPI job"},
      {otherSweep, "ebsim sweep: rank 1 runs 'ebsim sweep --seed-ms 9 --realizations 5000 --threads 1 --side 30x "},
  };
  for (const Other& other : others) {
    std::vector<std::string> argv = Mpirun(1, sweep);
    argv.insert(argv.end(), {":", "-n", "1", EBSIM_PATH});
    argv = With(argv, other.args);
    const int code = WaitAtMost(StartProgram(argv, dir / "out", dir / "err"), 60);
    const std::string err = ReadFile(dir / "err");
    EXPECT_TRUE(code != 0 && code != -2) << other.message << ": " << code;
    EXPECT_NE(err.find(other.message), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "runs.csv")) << other.message;
  }
}

}  // namespace
