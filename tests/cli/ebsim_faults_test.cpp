// ebsim used as a hostile user would: files that already stand where the
// output goes, outputs that cannot take the data, counts too large to hold,
// memory limits, signals at awkward times, inputs that no Run accepts, and
// separators that mean something else.

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <thread>

#include "base/available_memory.h"
#include "run/large_lattice.h"
#include "tests/cli/process_helpers.h"

using namespace ebsim;

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

struct Case {
  std::vector<std::string> args;
  int code;
  std::string err;  // stderr holds this
};

void ExpectOutcome(const Case& c, const Finished& call) {
  EXPECT_EQ(call.code, c.code) << call.err;
  EXPECT_NE(call.err.find(c.err), std::string::npos) << "stderr: " << call.err << "\nwanted: " << c.err;
}

// -- Output files -------------------------------------------------------

TEST(OutputFilesTest, TargetsThatMustNotBeReplacedAreRefusedOrWrittenThrough) {
  const ScratchDir dir;
  WriteText(dir / "protected.csv", "old\n");
  chmod((dir / "protected.csv").c_str(), 0444);
  WriteText(dir / "mine.csv.partial", "keep\n");
  fs::create_directory(dir / "folder");
  const Case cases[] = {
      {{"sweep", "--side", "2", "--steps", "2", "--out", dir / "protected.csv"}, 1,
       "cannot write '" + dir / "protected.csv" + "': Permission denied"},
      {{"sweep", "--side", "2", "--steps", "2", "--out", dir / "folder"}, 1,
       "cannot write '" + dir / "folder" + "': Is a directory"},
      {{"sweep", "--side", "2", "--steps", "2", "--out", dir / "no/such.csv"}, 1,
       "cannot write '" + dir / "no/such.csv" + "': No such file or directory"},
      {{"run", "--side", "2", "--loop-csv", dir / "no/loop.csv"}, 1,
       "cannot write '" + dir / "no/loop.csv" + "': No such file or directory"},
      {{"sweep", "--side", "2", "--steps", "2", "--out", dir / "same.csv", "--summary", dir / "./same.csv"}, 2,
       "--out and --summary name the same file"},
      {{"sweep", "--side", "2", "--steps", "2", "--summary", "-"}, 2, "--out and --summary name the same file"},
  };
  for (const Case& c : cases) ExpectOutcome(c, RunEbsim(c.args));
  EXPECT_EQ(ReadFile(dir / "protected.csv"), "old\n");
  EXPECT_EQ(ReadFile(dir / "mine.csv.partial"), "keep\n");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"folder", "mine.csv.partial", "protected.csv"}));

  // A new file next to the user's own "NAME.partial" leaves it alone.
  ASSERT_EQ(RunEbsim({"sweep", "--side", "2", "--steps", "2", "--out", dir / "mine.csv"}).code, 0);
  EXPECT_EQ(ReadFile(dir / "mine.csv.partial"), "keep\n");
}

TEST(OutputFilesTest, SymlinksDevicesAndStandardOutputAreWrittenNotReplaced) {
  const ScratchDir dir;
  fs::create_directory(dir / "data");
  fs::create_symlink(dir / "data/loop.csv", dir / "link.csv");
  const Finished linked = RunEbsim({"run", "--side", "2", "--steps", "2", "--loop-csv", dir / "link.csv"});
  ASSERT_EQ(linked.code, 0) << linked.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
  EXPECT_EQ(TableLines(ReadFile(dir / "data/loop.csv")).front(), "step,branch,H,M");

  if (geteuid() == 0) {  // the null device, made where the test may make one
    ASSERT_EQ(mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(RunEbsim({"sweep", "--side", "2", "--steps", "2", "--out", dir / "null"}).code, 0);
    EXPECT_TRUE(fs::is_character_file(dir / "null"));
  }
  const Finished dash = RunEbsim({"run", "--side", "2", "--steps", "2", "--loop-csv", "-"});
  ASSERT_EQ(dash.code, 0) << dash.err;
  EXPECT_EQ(dash.out.rfind("# {", 0), 0u);
  EXPECT_NE(dash.out.find("\nstep,branch,H,M\n"), std::string::npos);
  EXPECT_NE(dash.out.find("\n{\"version\""), std::string::npos);
}

// Anyone who may write in a shared spin folder can plant its predictable
// names: a sweep never writes through what stands there.
TEST(OutputFilesTest, SpinFilesAreNeverWrittenThroughWhatIsPlantedInTheirFolder) {
  struct Plant {
    const char* what;
    std::function<void(const std::string& name, const std::string& elsewhere)> make;
    std::string reason;
  };
  const Plant plants[] = {
      {"link to a file", [](auto& name, auto& elsewhere) { WriteText(elsewhere, "precious\n"), fs::create_symlink(elsewhere, name); },
       "it is a symbolic link, and spin files are never written through one"},
      {"link to nowhere yet", [](auto& name, auto& elsewhere) { fs::create_symlink(elsewhere, name); },
       "it is a symbolic link, and spin files are never written through one"},
      {"folder", [](auto& name, auto&) { fs::create_directory(name); }, "it is not a regular file"},
      {"read-only file", [](auto& name, auto&) { WriteText(name, "old\n"), chmod(name.c_str(), 0444); },
       "Permission denied"},
  };
  for (const Plant& plant : plants) {
    SCOPED_TRACE(plant.what);
    const ScratchDir dir;
    fs::create_directory(dir / "spins");
    const std::string name = dir / "spins/point0_realization1.npy", elsewhere = dir / "elsewhere";
    plant.make(name, elsewhere);
    const std::string before = fs::exists(elsewhere) ? ReadFile(elsewhere) : "(none)";
    const Finished sweep = RunEbsim({"sweep", "--seed-ms", "0", "--side", "4", "--steps", "4", "--realizations", "2",
                                     "--out", dir / "o.csv", "--spins", dir / "spins"});
    EXPECT_EQ(sweep.code, 1);
    EXPECT_NE(sweep.err.find("cannot write '" + name + "': " + plant.reason), std::string::npos) << sweep.err;
    EXPECT_EQ(fs::exists(elsewhere) ? ReadFile(elsewhere) : "(none)", before);
    // The row before it is kept with its file; nothing else is left.
    EXPECT_EQ(TableLines(ReadFile(dir / "o.csv")).size(), 2u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "spins")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"point0_realization0.npy", "point0_realization1.npy"}));
  }
}

TEST(OutputFilesTest, ConcurrentSweepsIntoOneFileLeaveOneWholeTable) {
  const ScratchDir dir;
  const std::vector<std::string> args = {"sweep", "--seed-ms", "1", "--side", "12", "--realizations", "200",
                                         "--threads", "1", "--out", dir / "r.csv"};
  const pid_t first = Start(args, dir / "o1", dir / "e1");
  const pid_t second = Start(args, dir / "o2", dir / "e2");
  ASSERT_EQ(Wait(first), 0);
  ASSERT_EQ(Wait(second), 0);
  const std::string table = ReadFile(dir / "r.csv");
  EXPECT_EQ(table.find('\0'), std::string::npos);
  EXPECT_EQ(Lines(table).size(), 203u);  // the metadata, the header, the rows and the end
  const Finished alone = RunEbsim({"sweep", "--seed-ms", "1", "--side", "12", "--realizations", "200", "--threads",
                                   "1"});
  EXPECT_EQ(TableLines(table), TableLines(alone.out));
}

TEST(OutputFilesTest, AFullDiskLeavesTheOldFilesAndSaysWhy) {
  for (const auto& [option, name] : {std::pair{"--out", "r.csv"}, std::pair{"--h5", "r.h5"}}) {
    const ScratchDir dir;
    fs::create_directory(dir / "small");
    if (mount("tmpfs", (dir / "small").c_str(), "tmpfs", 0, "size=12k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
    const std::string path = dir / (std::string("small/") + name);
    WriteText(path, "old runs\n");
    const Finished full = RunEbsim({"sweep", "--seed-ms", "1", "--side", "2", "--steps", "2", "--realizations", "500",
                                    option, path});
    const std::string kept = ReadFile(path);
    const auto count = std::distance(fs::directory_iterator(dir / "small"), fs::directory_iterator());
    umount((dir / "small").c_str());
    EXPECT_EQ(full.code, 1) << option;
    EXPECT_NE(full.err.find("cannot write '" + path + "': No space left on device"), std::string::npos) << full.err;
    EXPECT_EQ(kept, "old runs\n") << option;
    EXPECT_EQ(count, 1) << option << ": no temporary file left behind";
  }
}

// -- Standard output ----------------------------------------------------

TEST(StandardOutputTest, AFullDeviceIsAnError) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"run", "--seed-ms", "1"},
                                               std::vector<std::string>{"sweep", "--seed-ms", "1", "--side", "4"}}) {
    const ScratchDir dir;
    const int code = Wait(Start(args, "/dev/full", dir / "err"));
    EXPECT_EQ(code, 1) << args[0];
    EXPECT_NE(ReadFile(dir / "err").find("cannot write standard output: No space left on device"), std::string::npos)
        << ReadFile(dir / "err");
  }
}

TEST(StandardOutputTest, AReaderThatGoesAwayStopsTheSweep) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const ScratchDir dir;
  // Started with SIGPIPE ignored, as some shells and job runners do.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  std::vector<std::string> argv = {EBSIM_PATH, "sweep", "--seed-ms", "1", "--side", "8", "--realizations", "1000000"};
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir / "err").c_str(), O_WRONLY | O_CREAT, 0644);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, EBSIM_PATH, &actions, nullptr, pointers.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  sigaction(SIGPIPE, &previous, nullptr);
  close(fds[1]);
  char first[64];
  ASSERT_GT(read(fds[0], first, sizeof first), 0);
  close(fds[0]);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Wait(pid), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_NE(ReadFile(dir / "err").find("cannot write standard output: Broken pipe"), std::string::npos);
}

// -- Counts, memory and inputs no Run takes ------------------------------

TEST(SweepLimitsTest, CountsTooLargeAndInputsNoRunTakesAreRefusedBeforeAnythingRuns) {
  const Case cases[] = {
      {{"sweep", "--dilution", "0:65535:1", "--sd", "0:65535:1", "--h0", "0:65535:1", "--enhancement", "0:65535:1"},
       2, "more points than can be counted"},
      {{"sweep", "--side", "1;2", "--realizations", "9223372036854775808"}, 2, "more rows than can be counted"},
      {{"sweep", "--realizations", "18446744073709551616"}, 2, "--realizations takes a whole number"},
      {{"sweep", "--h0", "3", "--hmin", "5"}, 2, "Init. Mag. Field must not be below Min. Mag. Field."},
      {{"sweep", "--side", "46341"}, 2, "'46341' is not a valid lattice side (1 to 46340)"},
      {{"sweep", "--side", "5;0"}, 2, "'0' is not a valid lattice side (1 to 46340)"},
      {{"sweep", "--side", "46340"}, 2, "A lattice of side 46340 needs about"},
      {{"sweep", "--steps", "4;0"}, 2, "'0' is not a valid number of steps (1 or more)"},
  };
  for (const Case& c : cases) {
    const auto started = std::chrono::steady_clock::now();
    const Finished call = RunEbsim(c.args);
    ExpectOutcome(c, call);
    EXPECT_EQ(call.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  }
}

TEST(SweepLimitsTest, FailedRowsAreCountedAndASweepWithNoneGoodFails) {
  const Case cases[] = {
      {{"sweep", "--seed-ms", "5", "--side", "6", "--dilution", "1", "--enhancement", "1E308;10", "--realizations", "3"},
       0,
       "ebsim sweep: 3 of 6 rows failed"},
      {{"sweep", "--seed-ms", "5", "--side", "6", "--dilution", "1", "--enhancement", "1E308", "--realizations", "3"},
       1,
       "ebsim sweep: 3 of 3 rows failed"},
  };
  for (const Case& c : cases) ExpectOutcome(c, RunEbsim(c.args));
}

long ResidentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Endless work in constant memory: a loop of 10^9 steps written as it
// goes, a sweep of 2^64 - 1 rows, and more threads than the rows need.
TEST(SweepLimitsTest, MemoryStaysBoundedWhateverTheCounts) {
  const ScratchDir dir;
  const std::vector<std::string> runs[] = {
      {"run", "--side", "1", "--steps", "1000000000", "--loop-csv", dir / "loop.csv"},
      {"sweep", "--side", "4", "--steps", "4", "--realizations", "18446744073709551615", "--threads", "2", "--out",
       dir / "r.csv"},
  };
  for (const std::vector<std::string>& args : runs) {
    const pid_t pid = Start(args, dir / "out", dir / "err");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const long early = ResidentKilobytes(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const long late = ResidentKilobytes(pid);
    kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 128 + SIGTERM) << ReadFile(dir / "err");
    EXPECT_GT(early, 0) << args[0];
    EXPECT_LT(late, early + 8 * 1024) << args[0] << ": " << early << " kB, then " << late << " kB";
  }
  const Finished threads = RunEbsim({"sweep", "--side", "3", "--steps", "2", "--realizations", "3", "--threads",
                                     "100000"});
  EXPECT_EQ(threads.code, 0) << threads.err;
  EXPECT_EQ(TableLines(threads.out).size(), 4u);
}

// -- Memory limits, stops during the set-up, failed renders -------------

// ebsim under a shell's limit, as batch systems set them: "-v KB" on the
// address space, "-d KB" on the data.
Finished RunLimited(const std::string& limit, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"sh", "-c", "ulimit " + limit + " && exec \"$0\" \"$@\"", EBSIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const ScratchDir streams;
  const int code = Wait(StartProgram(argv, streams / "out", streams / "err"));
  return {code, ReadFile(streams / "out"), ReadFile(streams / "err")};
}

bool HasRenderProgram() { return fs::exists(fs::path(EBSIM_PATH).parent_path() / "ebsim-render"); }

// The check takes the process's own limits: what they cannot hold is
// refused before anything is allocated (a usage error, or the Run's error
// with its provenance), and no file is left but the old one.
TEST(MemoryLimitsTest, WhatTheProcessLimitsCannotHoldIsRefusedUpFront) {
  const ScratchDir dir;
  WriteText(dir / "keep.png", "x\n");
  struct LimitCase {
    std::string limit;
    std::vector<std::string> args;
    int code;
    std::vector<std::string> out;  // stdout holds each
    std::string err;
  };
  const std::vector<std::string> largeRun = {"\"seed_ms\":1,", "\"error\":\"A lattice of side 9000 needs about",
                                             "\"stage\":\"lee\"}"};
  const LimitCase cases[] = {
      {"-v 1000000",
       {"sweep", "--seed-ms", "1", "--side", "20;9000", "--realizations", "2", "--threads", "2", "--out", dir / "hs.csv",
        "--summary", dir / "hss.csv"},
       2, {}, "A lattice of side 9000 needs about"},
      {"-v 1000000", {"run", "--seed-ms", "1", "--side", "9000"}, 1, largeRun, ""},
      {"-d 1000000", {"run", "--seed-ms", "1", "--side", "9000"}, 1, largeRun, ""},
      {"-v 1000000", {"render", "--seed-ms", "1", "--side", "9000", "--png", dir / "keep.png"}, 1, largeRun, ""},
      {"-v 1000000",
       {"sweep", "--side", "1", "--steps", "1000000000", "--loop-mean", dir / "m.csv", "--out", dir / "r.csv"}, 2, {},
       "Loops of 1000000000 steps need about"},
      {"-v 1000000", {"run", "--side", "1", "--steps", "1000000000", "--loop"}, 2, {},
       "--loop of 1000000000 steps needs about"},
      // The engine's own memory: the pass holds side 6000 within the limit,
      // the events do not, nor the flip fields side 9000; an adiabatic loop
      // may hold an avalanche a spin and leg.
      {"-v 1000000", {"run", "--seed-ms", "1", "--side", "6000", "--steps", "2", "--engine", "pass"}, 0, {}, ""},
      {"-v 1000000", {"run", "--seed-ms", "1", "--side", "6000", "--engine", "events"}, 1, {"needs about"}, ""},
      {"-v 1000000", {"run", "--seed-ms", "1", "--side", "9000", "--dynamics", "stable", "--adiabatic"}, 1,
       {"A lattice of side 9000 needs about"}, ""},
      {"-v 1000000",
       {"sweep", "--side", "6000", "--steps", "3000", "--threads", "2", "--engine", "auto", "--out", dir / "e.csv"}, 2,
       {}, "A lattice of side 6000 needs about"},
      {"-v 1000000", {"run", "--side", "2000", "--dynamics", "stable", "--adiabatic", "--loop"}, 2, {},
       "--loop of an adiabatic run (up to 8000002 avalanches) needs about"},
  };
  for (const LimitCase& c : cases) {
    if (c.args[0] == "render" && !HasRenderProgram()) continue;
    const Finished call = RunLimited(c.limit, c.args);
    EXPECT_EQ(call.code, c.code) << c.args[0] << ": " << call.err;
    for (const std::string& part : c.out) EXPECT_NE(call.out.find(part), std::string::npos) << call.out;
    EXPECT_NE(call.err.find(c.err), std::string::npos) << call.err;
  }
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.png"});
  EXPECT_EQ(ReadFile(dir / "keep.png"), "x\n");
}

// SIGTERM while a large lattice is set up, which takes seconds on one
// thread, ends the command at once, as during the passes: 143, no loop
// file, the sweep's table whole with no rows.
TEST(StopSignalsTest, ASignalDuringTheSetUpIsHeardAtOnce) {
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  if (available && *available < 2 * LargeLatticeBytes(10000)) GTEST_SKIP() << "too little memory for side 10000";
  const ScratchDir dir;
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"run", "--seed-ms", "1", "--side", "10000", "--steps", "2", "--loop-csv", dir / "loop.csv"}, {}},
      {{"sweep", "--seed-ms", "1", "--side", "10000", "--steps", "2", "--out", dir / "runs.csv"}, {"runs.csv"}},
  };
  for (const auto& [args, files] : cases) {
    const ScratchDir streams;
    const pid_t pid = Start(args, streams / "out", streams / "err");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(pid, SIGTERM);
    const auto signalled = std::chrono::steady_clock::now();
    EXPECT_EQ(Wait(pid), 128 + SIGTERM) << ReadFile(streams / "err");
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5)) << args[0];
    EXPECT_EQ(dir.Names(), files) << args[0];
  }
  EXPECT_EQ(TableLines(ReadFile(dir / "runs.csv")).size(), 1u);  // the header
}

// A render whose Run fails leaves the file that stood there, and says what
// ebsim run says of the same inputs, limits and provenance included.
TEST(RenderTest, AFailedRunLeavesTheOldPictureAndSaysWhatRunSays) {
  if (!HasRenderProgram()) GTEST_SKIP() << "built without the window";
  const ScratchDir dir;
  WriteText(dir / "keep.png", "x\n");
  const std::vector<std::string> failing[] = {{"--hmin", "5"}, {"--side", "0"}, {"--side", "46341"}};
  for (const std::vector<std::string>& inputs : failing) {
    std::vector<std::string> render = {"render", "--seed-ms", "0", "--png", dir / "keep.png"};
    std::vector<std::string> run = {"run", "--seed-ms", "0"};
    render.insert(render.end(), inputs.begin(), inputs.end());
    run.insert(run.end(), inputs.begin(), inputs.end());
    const Finished rendered = RunEbsim(render);
    const Finished ran = RunEbsim(run);
    EXPECT_EQ(rendered.code, 1) << inputs[0];
    EXPECT_EQ(ran.code, 1) << inputs[0];
    EXPECT_EQ(rendered.out, ran.out);
    EXPECT_EQ(ReadFile(dir / "keep.png"), "x\n") << inputs[0];
  }
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.png"});
}

// -- Separators and text ------------------------------------------------

TEST(SeparatorTest, OnlyCharactersOutsideNumberListAndRangeTextsAreTaken) {
  for (const char* sep : {"5", "-", "+", ";", ":", "e", "E", "$", "x", "X", " ", "\x01", "\xff", "\xed\xa0\x80",
                          "\xc0\xae", "ab"}) {
    const Finished call = RunEbsim({"run", "--seed-ms", "0", "--sep", sep});
    EXPECT_EQ(call.code, 2) << "--sep '" << sep << "'";
    EXPECT_EQ(call.out, "");
  }
  // Numbers in the output keep "." whatever the fields show.
  const Finished comma = RunEbsim({"run", "--seed-ms", "0", "--sep", ",", "--dilution", "0,04"});
  ASSERT_EQ(comma.code, 0) << comma.err;
  EXPECT_NE(comma.out.find(R"("coercivity":{"value":2.360000000000005,"shown":"2,360"})"), std::string::npos)
      << comma.out;
}

bool ValidUtf8Text(const std::string& text) {
  for (std::size_t k = 0; k < text.size();) {
    const auto b = static_cast<unsigned char>(text[k]);
    const std::size_t length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || k + length > text.size()) return false;
    for (std::size_t c = 1; c < length; ++c)
      if ((static_cast<unsigned char>(text[k + c]) & 0xC0) != 0x80) return false;
    k += length;
  }
  return true;
}

TEST(SeparatorTest, BytesThatAreNotUtf8NeverBreakTheJson) {
  const Finished call = RunEbsim({"run", "--side", "\xff\xfe"});
  EXPECT_EQ(call.code, 1);
  EXPECT_TRUE(ValidUtf8Text(call.out)) << call.out;
  EXPECT_NE(call.out.find("\"'\xEF\xBF\xBD\xEF\xBF\xBD' is not a valid integer value.\""), std::string::npos)
      << call.out;
}

}  // namespace
