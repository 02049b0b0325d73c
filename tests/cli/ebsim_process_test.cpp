// ebsim run as a program: its exit codes, what it writes where, and a
// sweep stopped by Ctrl-C that still leaves both CSV files whole.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/round_trip_text.h"
#include "cli/run_command.h"
#include "form/catalogue.h"
#include "tests/cli/process_helpers.h"
#include "batch/sweep_grid.h"

using namespace ebsim;

namespace {

constexpr std::size_t kRunsColumns = 26;  // 7 grid, point, realisation, seed, 13 read-outs, 2 steps, error

// SIGINT from the terminal, SIGTERM from a batch system, SIGHUP from a
// closed session: each keeps every finished row and leaves whole files.
class StoppedSweepTest : public ::testing::TestWithParam<int> {};

TEST_P(StoppedSweepTest, LeavesBothFilesWhole) {
  const ScratchDir dir;
  const std::string runs = dir / "runs.csv", summary = dir / "summary.csv";
  const pid_t pid = Start({"sweep", "--seed-ms", "0", "--side", "100", "--realizations", "100000", "--threads", "2",
                           "--out", runs, "--summary", summary},
                          dir / "stdout", dir / "stderr");
  // Once the files are open the sweep is under way; let some rows finish.
  auto opened = [&] {
    const std::vector<std::string> names = dir.Names();
    return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".runs.csv.", 0) == 0; });
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!opened() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  kill(pid, GetParam());
  ASSERT_EQ(Wait(pid), 128 + GetParam()) << ReadFile(dir / "stderr");

  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"runs.csv", "stderr", "stdout", "summary.csv"}));
  const std::vector<std::string> lines = TableLines(ReadFile(runs));
  ASSERT_GE(lines.size(), 2u) << "no row finished";
  EXPECT_EQ(ReadFile(runs).back(), '\n');
  const std::vector<std::string> header = CsvFields(lines[0]);
  ASSERT_EQ(header.size(), kRunsColumns);
  const std::size_t realization = Column(header, "realization"), seed = Column(header, "seed_ms");
  long previous = -1;
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const std::vector<std::string> fields = CsvFields(lines[k]);
    ASSERT_EQ(fields.size(), kRunsColumns) << lines[k];
    const long r = std::stol(fields[realization]);
    EXPECT_GT(r, previous) << lines[k];
    EXPECT_EQ(fields[seed], std::to_string(RealizationSeed(0, static_cast<std::uint64_t>(r))));
    EXPECT_EQ(fields.back(), "") << "no realisation fails here";
    previous = r;
  }
  const std::size_t kept = lines.size() - 1;
  EXPECT_LT(kept, 100000u);
  EXPECT_NE(ReadFile(dir / "stderr").find("stopped; " + std::to_string(kept) + " of 100000 rows kept"),
            std::string::npos)
      << ReadFile(dir / "stderr");

  const std::vector<std::string> summaryLines = TableLines(ReadFile(summary));
  ASSERT_EQ(summaryLines.size(), 2u);
  const std::vector<std::string> summaryHeader = CsvFields(summaryLines[0]);
  const std::vector<std::string> point = CsvFields(summaryLines[1]);
  ASSERT_EQ(point.size(), summaryHeader.size());
  EXPECT_EQ(point[Column(summaryHeader, "realizations")], std::to_string(kept));
  EXPECT_EQ(point[Column(summaryHeader, "failed")], "0");
  EXPECT_EQ(point[Column(summaryHeader, "surface_ratio_n")], std::to_string(kept));
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedSweepTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(EbsimProcessTest, SweepWithoutFilesWritesItsRowsToStandardOutput) {
  const Finished sweep = RunEbsim({"sweep", "--seed-ms", "5000", "--side", "10", "--dilution", "0;0.1", "--steps",
                                   "40", "--realizations", "2", "--threads", "2"});
  ASSERT_EQ(sweep.code, 0) << sweep.err;
  EXPECT_EQ(sweep.err, "");
  const std::vector<std::string> lines = TableLines(sweep.out);
  ASSERT_EQ(lines.size(), 5u) << sweep.out;
  const std::vector<std::string> header = CsvFields(lines[0]);
  const std::size_t dilution = Column(header, "dilution"), realization = Column(header, "realization");
  const char* const order[][2] = {{"0", "0"}, {"0", "1"}, {"0.1", "0"}, {"0.1", "1"}};
  for (std::size_t k = 0; k < 4; ++k) {
    const std::vector<std::string> fields = CsvFields(lines[k + 1]);
    ASSERT_EQ(fields.size(), kRunsColumns);
    EXPECT_EQ(fields[dilution], order[k][0]);
    EXPECT_EQ(fields[realization], order[k][1]);
  }

  // The last row again with ebsim run at its seed: the same read-outs.
  const std::vector<std::string> row = CsvFields(lines[4]);
  const Finished run = RunEbsim({"run", "--seed-ms", row[Column(header, "seed_ms")], "--side", "10", "--dilution",
                                 "0.1", "--steps", "40"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  for (const char* id : {"surface_ratio", "eb_shift", "coercivity", "vertical_shift", "magnetization", "applied_field",
                         "open_end", "plus_spins_at_hmin", "minus_spins_at_hmax"}) {
    const std::string full = row[Column(header, id)];
    if (full.empty())  // left blank
      EXPECT_TRUE(json.at("readouts").at(id).is_null()) << id;
    else
      EXPECT_EQ(json.at("readouts").at(id).at("value").get<double>(), static_cast<double>(std::strtold(full.c_str(), nullptr))) << id;
  }
}

// The lines of a table with its header, as maps from column to text.
std::vector<std::map<std::string, std::string>> TableRows(const std::string& path) {
  const std::vector<std::string> lines = TableLines(ReadFile(path));
  std::vector<std::map<std::string, std::string>> rows;
  const std::vector<std::string> header = CsvFields(lines.at(0));
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const std::vector<std::string> fields = CsvFields(lines[k]);
    EXPECT_EQ(fields.size(), header.size()) << lines[k];
    std::map<std::string, std::string>& row = rows.emplace_back();
    for (std::size_t c = 0; c < header.size() && c < fields.size(); ++c) row[header[c]] = fields[c];
  }
  return rows;
}

// The text a table must hold for a number the JSON gives: its double's
// shortest text, which reads back as that double.
void ExpectNumber(const std::string& text, double json, const std::string& what) {
  EXPECT_EQ(text, ShortestText(json)) << what;
  EXPECT_EQ(std::strtod(text.c_str(), nullptr), json) << what;
}

// Mean statistics over two values: reckoned in extended precision, rounded
// to double once; the spreads are the shortest texts of their doubles.
void ExpectMeanOfTwo(const std::map<std::string, std::string>& row, const std::string& id, double a, double b,
                     const std::string& what) {
  ExpectNumber(row.at(id + "_mean"), static_cast<double>((static_cast<long double>(a) + b) / 2), what);
  for (const char* spread : {"_sd", "_se"}) {
    const std::string& text = row.at(id + spread);
    EXPECT_EQ(text, ShortestText(std::strtod(text.c_str(), nullptr))) << what << spread;
  }
  EXPECT_NEAR(std::strtod(row.at(id + "_sd").c_str(), nullptr), std::abs(a - b) / std::sqrt(2.0), 1e-15) << what;
}

// Every number of every table is what ebsim run's JSON gives for the same
// realisation, written as the JSON writes it.
TEST(EbsimProcessTest, EveryTableNumberIsTheDoubleOfEbsimRunInItsShortestText) {
  const ScratchDir dir;
  const std::string runs = dir / "runs.csv", summary = dir / "summary.csv", loops = dir / "loops.csv",
                    means = dir / "means.csv";
  const Finished sweep = RunEbsim({"sweep", "--seed-ms", "4321", "--side", "12", "--dilution", "0.05;0.2", "--steps",
                                   "30", "--realizations", "2", "--out", runs, "--summary", summary, "--loops", loops,
                                   "--loop-mean", means});
  ASSERT_EQ(sweep.code, 0) << sweep.err;
  const auto runRows = TableRows(runs), summaryRows = TableRows(summary), loopRows = TableRows(loops),
             meanRows = TableRows(means);
  ASSERT_EQ(runRows.size(), 4u);
  ASSERT_EQ(summaryRows.size(), 2u);
  std::vector<nlohmann::json> json;  // per row of the runs table
  for (const auto& row : runRows) {
    const Finished run = RunEbsim({"run", "--seed-ms", row.at("seed_ms"), "--side", "12", "--dilution",
                                   row.at("dilution"), "--steps", "30", "--loop"});
    ASSERT_EQ(run.code, 0) << run.err;
    json.push_back(nlohmann::json::parse(run.out));
    const std::string what = "row " + row.at("point") + "/" + row.at("realization");
    for (const ReadoutEntry& name : Readouts()) {
      const auto& readout = json.back().at("readouts").at(name.id);
      if (readout.is_null())
        EXPECT_EQ(row.at(name.id), "") << what << " " << name.id;
      else
        ExpectNumber(row.at(name.id), readout.at("value").get<double>(), what + " " + name.id);
    }
  }
  const std::size_t steps = json[0].at("loop").size();
  ASSERT_EQ(loopRows.size(), 4 * steps);
  ASSERT_EQ(meanRows.size(), 2 * steps);
  for (std::size_t k = 0; k < loopRows.size(); ++k) {
    const auto& step = json[k / steps].at("loop").at(k % steps);
    ExpectNumber(loopRows[k].at("H"), step.at("H").get<double>(), "loop line " + std::to_string(k));
    ExpectNumber(loopRows[k].at("M"), step.at("M").get<double>(), "loop line " + std::to_string(k));
  }
  for (std::size_t p = 0; p < 2; ++p) {
    for (const ReadoutEntry& name : Readouts()) {
      const auto& a = json[2 * p].at("readouts").at(name.id);
      const auto& b = json[2 * p + 1].at("readouts").at(name.id);
      if (!a.is_null() && !b.is_null())
        ExpectMeanOfTwo(summaryRows[p], name.id, a.at("value"), b.at("value"), name.id);
    }
    for (std::size_t k = 0; k < steps; ++k) {
      const auto& row = meanRows[p * steps + k];
      const std::string what = "mean line " + std::to_string(p * steps + k);
      ExpectNumber(row.at("H"), json[2 * p].at("loop").at(k).at("H").get<double>(), what);
      ExpectMeanOfTwo(row, "M", json[2 * p].at("loop").at(k).at("M"), json[2 * p + 1].at("loop").at(k).at("M"), what);
    }
  }
}

TEST(EbsimProcessTest, SweepSeededByTheClockSaysSo) {
  const Finished sweep = RunEbsim({"sweep", "--side", "4", "--steps", "4", "--realizations", "2", "--threads", "1"});
  ASSERT_EQ(sweep.code, 0) << sweep.err;
  const std::string said = "ebsim sweep: seed-ms ";
  ASSERT_EQ(sweep.err.rfind(said, 0), 0u) << sweep.err;
  const auto seed = static_cast<std::uint32_t>(std::stoul(sweep.err.substr(said.size())));
  EXPECT_NE(sweep.err.find("(from the clock)"), std::string::npos);
  const std::vector<std::string> lines = TableLines(sweep.out);
  ASSERT_EQ(lines.size(), 3u);
  const std::size_t column = Column(CsvFields(lines[0]), "seed_ms");
  EXPECT_EQ(CsvFields(lines[1])[column], std::to_string(RealizationSeed(seed, 0)));
  EXPECT_EQ(CsvFields(lines[2])[column], std::to_string(RealizationSeed(seed, 1)));
}

TEST(EbsimProcessTest, LoopCsvHoldsTheLoopOfTheJson) {
  const ScratchDir dir;
  const std::string csv = dir / "loop.csv";
  const Finished run = RunEbsim({"run", "--seed-ms", "1000", "--loop", "--loop-csv", csv});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"loop.csv"});

  const std::vector<std::string> lines = TableLines(ReadFile(csv));
  ASSERT_EQ(lines.size(), 1u + 151 + 151);
  EXPECT_EQ(lines[0], "step,branch,H,M");
  const auto loop = nlohmann::json::parse(run.out).at("loop");
  ASSERT_EQ(loop.size(), lines.size() - 1);
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const std::vector<std::string> fields = CsvFields(lines[k]);
    ASSERT_EQ(fields.size(), 4u) << lines[k];
    EXPECT_EQ(fields[0], std::to_string(k - 1));
    EXPECT_EQ(fields[1], k <= 151 ? "down" : "up");
    EXPECT_EQ(loop[k - 1].at("branch"), fields[1]);
    EXPECT_EQ(loop[k - 1].at("H").get<double>(), std::strtod(fields[2].c_str(), nullptr)) << "step " << k;
    EXPECT_EQ(loop[k - 1].at("M").get<double>(), std::strtod(fields[3].c_str(), nullptr)) << "step " << k;
  }
  // The first line says what made the file; the last how many rows it holds.
  const std::vector<std::string> all = Lines(ReadFile(csv));
  const auto metadata = nlohmann::json::parse(all.front().substr(2));
  EXPECT_EQ(metadata.at("seed_ms"), 1000);
  EXPECT_EQ(metadata.at("inputs").at("field_sd"), "2");
  EXPECT_EQ(nlohmann::json::parse(all.back().substr(2)).at("rows"), 302);
}

// Batch jobs and root shells often have no XDG_RUNTIME_DIR; scripts read
// stderr for the seed, and nothing else may stand there.
TEST(EbsimProcessTest, RenderSaysOnlyItsSeedOnStandardError) {
  if (!std::filesystem::exists(std::filesystem::path(EBSIM_PATH).parent_path() / "ebsim-render"))
    GTEST_SKIP() << "built without the window";
  const ScratchDir dir;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string kept = runtime ? runtime : "";
  unsetenv("XDG_RUNTIME_DIR");
  const Finished render = RunEbsim({"render", "--seed-ms", "42", "--side", "10", "--steps", "10", "--png", dir / "w.png"});
  if (runtime) setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
  EXPECT_EQ(render.code, 0);
  EXPECT_EQ(render.err, "ebsim render: seed-ms 42\n");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"w.png"});
}

struct BadCall {
  std::vector<std::string> args;
  std::string message;
};

TEST(EbsimProcessTest, BadOptionsExitWithTwoBeforeAnythingRuns) {
  const ScratchDir dir;
  const std::string out = dir / "runs.csv";
  const BadCall cases[] = {
      {{"sweep", "--dilution", "0.04;abc", "--out", out}, "ebsim sweep: 'abc' is not a valid floating point value.\n"},
      {{"sweep", "--side", "10:20:2.5", "--out", out}, "ebsim sweep: '12.5' is not a valid integer value.\n"},
      {{"sweep", "--dilution", "0.1:0:0.05", "--out", out},
       "ebsim sweep: the step of '0.1:0:0.05' does not lead from its start to its end\n"},
      {{"sweep", "--realizations", "0", "--out", out},
       "ebsim sweep: --realizations takes a whole number of at least 1: '0'\n"},
      {{"sweep", "--threads", "two", "--out", out}, "ebsim sweep: --threads takes a whole number of at least 1: 'two'\n"},
      {{"sweep", "--seed-ms", "86400000", "--out", out},
       "ebsim sweep: --seed-ms takes milliseconds since midnight, 0 to 86399999: '86400000'\n"},
      {{"sweep", "--out", out, "--maps"}, "ebsim sweep: unknown option --maps\n"},
      {{"run", "--sep", "ab"}, "ebsim run: --sep takes one character: 'ab'\n"},
      // "#" would turn the rest of a table's line into a comment.
      {{"run", "--sep", "#"}, "ebsim run: --sep cannot be '#': the tables' readers take it for a comment\n"},
      {{"sweep", "--sep", "#", "--out", out},
       "ebsim sweep: --sep cannot be '#': the tables' readers take it for a comment\n"},
      {{"render", "--sep", "#", "--png", dir / "w.png"},
       "ebsim render: --sep cannot be '#': the tables' readers take it for a comment\n"},
      {{"run", "--side"}, "ebsim run: --side needs a value\n"},
      {{"run", "--loop=yes"}, "ebsim run: --loop takes no value\n"},
      {{"run", "twenty"}, "ebsim run: unexpected argument 'twenty'\n"},
      {{"run", "--bogus", "1"}, "ebsim run: unknown option --bogus\n"},
  };
  for (const BadCall& c : cases) {
    const Finished call = RunEbsim(c.args);
    EXPECT_EQ(call.code, 2) << c.message;
    EXPECT_EQ(call.err, c.message);
    EXPECT_EQ(call.out, "") << c.message;
    EXPECT_TRUE(dir.Names().empty()) << c.message;
  }
}

// The help of every command that runs the simulator names the side limit
// the command itself enforces, not the window's.
TEST(EbsimProcessTest, HelpNamesTheSideLimitTheCommandEnforces) {
  const ScratchDir dir;
  const std::regex named(R"(not a valid lattice side \((1 to \d+)\))");
  const std::vector<std::vector<std::string>> refused = {
      {"run", "--side", "0"},
      {"sweep", "--side", "0", "--out", dir / "runs.csv"},
      {"render", "--side", "0", "--png", dir / "window.png"},
  };
  std::string runLimit;
  for (const std::vector<std::string>& args : refused) {
    const std::string& command = args.front();
    const Finished call = RunEbsim(args);
    std::smatch found;
    const std::string said = call.out + call.err;
    std::string limit = std::regex_search(said, found, named) ? found[1].str() : "";
    // Without the window there is no render helper to refuse the side.
    if (limit.empty() && command == "render" && said.find("cannot start") != std::string::npos) limit = runLimit;
    ASSERT_FALSE(limit.empty()) << said;
    EXPECT_NE(call.code, 0) << said;
    if (command == "run") runLimit = limit;
    for (const std::vector<std::string>& ask : {std::vector<std::string>{"help", command}, {command, "--help"}}) {
      const Finished help = RunEbsim(ask);
      const auto at = help.out.find("--side ");
      ASSERT_NE(at, std::string::npos) << help.out;
      const std::string line = help.out.substr(at, help.out.find('\n', at) - at);
      // The first range the line names is the command's.
      EXPECT_TRUE(std::regex_search(line, found, std::regex(R"(1 to \d+)"))) << line;
      EXPECT_EQ(found.str(), limit) << command << ": " << line;
    }
  }
}

TEST(EbsimProcessTest, UnknownOrMissingCommandShowsTheUsageOnStandardError) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"frobnicate"}}) {
    const Finished call = RunEbsim(args);
    EXPECT_EQ(call.code, 2);
    EXPECT_EQ(call.out, "");
    EXPECT_NE(call.err.find("Usage: ebsim"), std::string::npos) << call.err;
  }
  const Finished help = RunEbsim({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"run", "sweep", "merge", "render", "help"})
    EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
}

}  // namespace
