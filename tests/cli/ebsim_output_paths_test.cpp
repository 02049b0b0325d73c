// The paths a command writes to: empty ones, one file under two spellings
// or one the command also reads, and the hidden temporaries that writers
// killed before they finished leave behind.

#include <signal.h>

#include <chrono>
#include <thread>
#include <utility>

#include "tests/cli/process_helpers.h"

using namespace ebsim;

namespace {

struct Refusal {
  std::vector<std::string> args;
  std::string err;  // stderr holds this
};

TEST(OutputPathsTest, AnEmptyPathIsAUsageError) {
  const Refusal cases[] = {
      {{"sweep", "--out", ""}, "--out takes a file name, not an empty text"},
      {{"sweep", "--out="}, "--out takes a file name, not an empty text"},
      {{"sweep", "--seed-ms", "1", "--out", "", "--resume"}, "--out takes a file name"},
      {{"sweep", "--summary", ""}, "--summary takes a file name"},
      {{"sweep", "--loops", ""}, "--loops takes a file name"},
      {{"sweep", "--loop-mean", ""}, "--loop-mean takes a file name"},
      {{"sweep", "--spins", ""}, "--spins takes a folder name, not an empty text"},
      {{"merge", "runs.csv", "--summary", ""}, "--summary takes a file name"},
      {{"merge", ""}, "a file name is an empty text"},
      {{"run", "--loop-csv", ""}, "--loop-csv takes a file name"},
      {{"render", "--png", ""}, "--png takes a file name"},
  };
  for (const Refusal& c : cases) {
    const Finished call = RunEbsim(c.args);
    EXPECT_EQ(call.code, 2) << c.err << ": " << call.err;
    EXPECT_NE(call.err.find(c.err), std::string::npos) << call.err;
    EXPECT_EQ(call.out, "") << c.err;
  }
}

TEST(OutputPathsTest, OneFileUnderTwoSpellingsOrAFileMergeReadsIsRefused) {
  const ScratchDir dir;
  const std::string sweep[] = {"sweep", "--seed-ms", "1", "--side", "2", "--steps", "2"};
  ASSERT_EQ(RunEbsim({sweep[0], sweep[1], sweep[2], sweep[3], sweep[4], "--out", dir / "a.csv"}).code, 0);
  const std::string table = ReadFile(dir / "a.csv");
  const std::string up = "../" + fs::path(dir.Path()).filename().string() + "/";
  auto Sweep = [&](std::vector<std::string> more) {
    std::vector<std::string> args(std::begin(sweep), std::end(sweep));
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const Refusal cases[] = {
      {Sweep({"--out", "q.csv", "--summary", "./q.csv"}), "--out and --summary name the same file: './q.csv'"},
      {Sweep({"--out", "q.csv", "--loops", "./q.csv"}), "--out and --loops name the same file"},
      {Sweep({"--out", "q.csv", "--loop-mean", dir / "q.csv"}), "--out and --loop-mean name the same file"},
      {Sweep({"--summary", "q.csv", "--loops", up + "q.csv"}), "--summary and --loops name the same file"},
      {{"merge", "a.csv", "--out", "mq.csv", "--summary", "./mq.csv"}, "--out and --summary name the same file"},
      {{"merge", "a.csv", "--out", "./a.csv"}, "--out names './a.csv', one of the files it reads"},
      {{"merge", "a.csv", "--summary", dir / "a.csv"}, "--summary names '" + dir / "a.csv" + "', one of the files"},
      {{"merge", "a.csv", "--out", "x0.csv", "--summary", up + "a.csv"}, "--summary names"},
  };
  for (const Refusal& c : cases) {
    const Finished call = RunEbsim(c.args, dir.Path());
    EXPECT_EQ(call.code, 2) << c.err << ": " << call.err;
    EXPECT_NE(call.err.find(c.err), std::string::npos) << call.err;
  }
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.csv"});
  EXPECT_EQ(ReadFile(dir / "a.csv"), table);
}

std::vector<std::string> Temporaries(const ScratchDir& dir, const std::string& of) {
  std::vector<std::string> found;
  for (const std::string& name : dir.Names())
    if (name.rfind("." + of + ".", 0) == 0) found.push_back(name);
  return found;
}

// A process the test started, ended with the test whatever happens.
struct Started {
  pid_t pid;
  ~Started() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) Wait(pid);
  }
  int WaitFor() { return Wait(std::exchange(pid, -1)); }
};

// A killed writer's temporary holds finished rows; a live writer's is in
// use. The next writer of the file resumes from the first, removes it once
// its own file is in place, and leaves the second alone.
TEST(StaleTemporariesTest, TheNextWriterResumesFromAKilledWritersRowsAndLeavesALiveWritersFile) {
  const ScratchDir dir;
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "3", "--side", "20", "--realizations", "600",
                                          "--threads", "2", "--out", dir / "kr.csv", "--summary", dir / "ks.csv"};
  const pid_t killed = Start(sweep, dir / "o1", dir / "e1");
  for (int wait = 0; wait < 1000; ++wait) {
    const auto left = Temporaries(dir, "kr.csv");
    if (!left.empty() && fs::file_size(dir / left.front()) > 8000) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(killed, SIGKILL);
  ASSERT_EQ(Wait(killed), 1000 + SIGKILL);
  ASSERT_EQ(Temporaries(dir, "kr.csv").size(), 1u);
  const std::string stale = dir / Temporaries(dir, "kr.csv").front();

  // Another sweep writing the same files, still running.
  Started live{Start({"sweep", "--seed-ms", "4", "--side", "8", "--realizations", "100000000", "--threads", "1",
                            "--out", dir / "kr.csv", "--summary", dir / "ks.csv"},
                           dir / "o2", dir / "e2")};
  for (int wait = 0; wait < 1000 && Temporaries(dir, "kr.csv").size() < 2; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  std::vector<std::string> resume = sweep;
  resume.push_back("--resume");
  const Finished resumed = RunEbsim(resume);
  ASSERT_EQ(resumed.code, 0) << resumed.err;
  EXPECT_NE(resumed.err.find("'" + dir / "kr.csv" + "' is missing; resuming from '" + stale + "'"),
            std::string::npos)
      << resumed.err;
  EXPECT_EQ(resumed.err.find("resumed after 0 rows"), std::string::npos) << resumed.err;
  EXPECT_NE(resumed.err.find("removed '" + stale + "', left by a writer of the same file that is gone"),
            std::string::npos)
      << resumed.err;
  EXPECT_EQ(Temporaries(dir, "kr.csv").size(), 1u) << "the live writer's temporary is kept";
  EXPECT_EQ(Temporaries(dir, "ks.csv").size(), 1u);

  const Finished whole = RunEbsim({sweep.begin(), sweep.end() - 4});
  ASSERT_EQ(whole.code, 0);
  EXPECT_EQ(TableLines(ReadFile(dir / "kr.csv")), TableLines(whole.out));

  kill(live.pid, SIGTERM);
  EXPECT_EQ(live.WaitFor(), 128 + SIGTERM) << ReadFile(dir / "e2");
  EXPECT_NE(ReadFile(dir / "kr.csv").find("\"seed_ms\":4"), std::string::npos) << "the live writer's rows in place";
  EXPECT_EQ(Temporaries(dir, "kr.csv").size() + Temporaries(dir, "ks.csv").size(), 0u);
}

}  // namespace
