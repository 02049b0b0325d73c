// ebsim run with the options beyond the window's: repeated cycles and field
// histories against the window's loop, the spins reversed at each step
// against the spins themselves, and the options it refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/round_trip_text.h"
#include "cli/merge_command.h"
#include "cli/run_command.h"
#include "cli/study_file.h"
#include "cli/sweep_command.h"

using namespace ebsim;
using nlohmann::json;

namespace {

namespace fs = std::filesystem;

class EbsimProtocolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ebsim_protocols_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The printed object; the exit code must be `code`.
  json Run(std::vector<std::string> args, int code = 0) {
    std::ostringstream out, err;
    EXPECT_EQ(RunCommand(args, out, err), code) << err.str();
    last_err = err.str();
    return code == 0 ? json::parse(out.str()) : json();
  }
  std::string File(const std::string& name, const std::string& text) const {
    const std::string path = (dir_ / name).string();
    std::ofstream(path) << text;
    return path;
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
  std::string last_err;
};

const std::vector<std::string> kLattice = {"--seed-ms", "7", "--side", "20", "--steps", "40", "--loop"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The loop rows of cycle 1 without the columns the options add.
json FirstCycle(const json& loop) {
  json rows = json::array();
  for (json row : loop) {
    if (row.value("cycle", 1) != 1) break;
    row.erase("flips");
    row.erase("cycle");
    rows.push_back(row);
  }
  return rows;
}

// Whatever the options, cycle 1 of a run is the window's run: the same
// read-outs at the top and in cycle 1, the same loop rows.
TEST_F(EbsimProtocolsTest, CycleOneIsTheWindowsRun) {
  const json plain = Run(kLattice);
  std::string values;
  for (const json& row : plain["loop"]) values += ShortestText(row["H"].get<double>()) + "\n";
  const std::string loopFields = File("loop.txt", "\n" + values + "\n");  // blank lines are skipped
  // The defaults named are the defaults: the window's output itself.
  EXPECT_EQ(Run(With(kLattice, {"--dynamics", "pass", "--boundary", "edge-copy"})), plain);
  const std::vector<std::vector<std::string>> cases = {{"--cycles", "1"}, {"--cycles", "3"}, {"--fields", loopFields}};
  for (const std::vector<std::string>& options : cases) {
    SCOPED_TRACE(options[0] + " " + options[1]);
    const json extended = Run(With(kLattice, options));
    EXPECT_EQ(extended["readouts"], plain["readouts"]);
    EXPECT_EQ(extended["steps"]["descending"].get<int>(),
              plain["steps"]["descending"].get<int>() * (options[1] == "3" ? 3 : 1));
    EXPECT_EQ(FirstCycle(extended["loop"]), plain["loop"]);
    ASSERT_FALSE(extended["cycles"].empty());
    const json& first = extended.at("cycles").at(0).at("readouts");
    for (auto it = first.begin(); it != first.end(); ++it) EXPECT_EQ(*it, plain.at("readouts").at(it.key())) << it.key();
    EXPECT_EQ(extended["cycles"].size(), options[1] == "3" ? 3u : 1u);
  }
  // The cycles after the first go on from the spins the one before left.
  const json three = Run(With(kLattice, {"--cycles", "3"}));
  EXPECT_EQ(three["loop"].size(), 3 * plain["loop"].size());
  EXPECT_EQ(three["loop"].back()["cycle"], 3);
}

// A field history down, up and down again: each step's flips are the spins
// that differ between the spins written before and after it.
TEST_F(EbsimProtocolsTest, FlipsCountTheSpinsThatChange) {
  std::string fields;
  for (int k = 0; k <= 8; ++k) fields += ShortestText(3 - 0.5 * k) + "\n";
  for (int k = 1; k <= 4; ++k) fields += ShortestText(-1 + 0.5 * k) + "\n";
  for (int k = 1; k <= 4; ++k) fields += ShortestText(1 - 0.5 * k) + "\r\n";
  std::string every;
  for (int k = 0; k < 17; ++k) every += (k ? ";" : "") + std::to_string(k);
  const json run = Run(With(kLattice, {"--fields", File("h.txt", fields), "--spins", Path("spins"), "--spins-at", every}));
  const json& loop = run["loop"];
  ASSERT_EQ(loop.size(), 17u);
  const int cycles[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2};
  auto spins = [&](int k) {
    std::ifstream in(Path("spins/step" + std::to_string(k) + ".npy"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::string before(spins(0).size(), '\0');
  before.replace(before.size() - 400, 400, 400, '\x01');  // every spin up at the start
  int unchanged = 0;
  for (int k = 0; k < 17; ++k) {
    const std::string after = spins(k);
    ASSERT_EQ(after.size(), before.size());
    std::int64_t differ = 0;
    for (std::size_t s = after.size() - 400; s < after.size(); ++s) differ += after[s] != before[s];
    EXPECT_EQ(loop[k]["flips"], differ) << "step " << k;
    EXPECT_EQ(loop[k]["cycle"], cycles[k]) << "step " << k;
    EXPECT_EQ(loop[k]["branch"], k == 0 || k < 9 || k > 12 ? "down" : "up") << "step " << k;
    unchanged += differ == 0;
    before = after;
  }
  EXPECT_GT(unchanged, 0);  // some steps change nothing, and say 0
  EXPECT_EQ(run["cycles"].size(), 2u);
}

TEST_F(EbsimProtocolsTest, RefusedOptions) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string bad = File("bad.txt", "1\n\n0.5\nabc\n"), empty = File("empty.txt", "\n \n");
  const Case cases[] = {
      {{"--dynamics", "fast"}, "--dynamics takes pass or stable, not 'fast'"},
      {{"--boundary", "wrap"}, "--boundary takes edge-copy, periodic or open, not 'wrap'"},
      {{"--cycles", "0"}, "--cycles takes a whole number from 1 to 1000000, not '0'"},
      {{"--cycles", "2x"}, "--cycles takes a whole number from 1 to 1000000, not '2x'"},
      {{"--fields", Path("missing.txt")}, "--fields: cannot read '" + Path("missing.txt") + "': No such file or directory"},
      {{"--fields", bad}, "--fields '" + bad + "' line 4: 'abc' is not a field value ('abc' is not a valid floating point value)"},
      {{"--fields", empty}, "--fields '" + empty + "' holds no field value"},
      {{"--cycles", "2", "--fields", bad}, "--cycles and --fields cannot be given together"},
      {{"--spins-at", "3"}, "--spins-at needs --spins DIR"},
      {{"--spins", Path("s"), "--spins-at", "1;-2"}, "--spins-at takes steps K1;K2;... each a whole number of at least 0, not '-2'"},
      {{"--spins", Path("s"), "--spins-at", "5;80"}, "--spins-at 80 is beyond the run's last step, 43 (steps count from 0)"},
      {{"--spins", Path("s"), "--cycles", "2", "--spins-at", "152"}, "--spins-at 152 is beyond the run's last step, 87 (steps count from 0)"},
      {{"--maps", "--cycles", "1"}, "--maps shows the window's runs only, not with --dynamics, --boundary, --cycles, --fields or --spins-at"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Run(With({"--seed-ms", "7", "--side", "20", "--steps", "40"}, c.args), 2);
    EXPECT_EQ(last_err, "ebsim run: " + c.message + "\n");
  }
  EXPECT_FALSE(fs::exists(Path("s")));  // nothing written before a refusal
}

// A sweep's files name the options beyond the window's: a resumed sweep or
// a merge with other values is refused, one with the same values goes on.
TEST_F(EbsimProtocolsTest, ResumeAndMergeKeepToTheOptions) {
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "5", "--side", "4", "--steps", "10",
                                          "--realizations", "4"};
  auto Sweep = [&](const std::vector<std::string>& more) {
    std::ostringstream out, err;
    std::atomic<bool> stop{false};
    const std::vector<std::string> args = With(std::vector<std::string>(sweep.begin() + 1, sweep.end()), more);
    const int code = SweepCommand(args, out, err, stop);
    last_err = err.str();
    return code;
  };
  ASSERT_EQ(Sweep({"--out", Path("cycles.csv"), "--cycles", "2", "--shard", "0/2"}), 0);
  ASSERT_EQ(Sweep({"--out", Path("plain.csv"), "--shard", "1/2"}), 0);
  ASSERT_EQ(Sweep({"--out", Path("other.csv"), "--cycles", "3", "--shard", "1/2"}), 0);
  ASSERT_EQ(Sweep({"--out", Path("same.csv"), "--cycles", "2", "--shard", "1/2"}), 0);
  struct Case {
    std::vector<std::string> resume;
    int code;
  };
  const Case resumes[] = {
      {{"--out", Path("cycles.csv"), "--shard", "0/2", "--resume"}, 1},
      {{"--out", Path("cycles.csv"), "--shard", "0/2", "--resume", "--cycles", "3"}, 1},
      {{"--out", Path("cycles.csv"), "--shard", "0/2", "--resume", "--dynamics", "stable"}, 1},
      {{"--out", Path("cycles.csv"), "--shard", "0/2", "--resume", "--cycles", "2"}, 0},
  };
  for (const Case& c : resumes) {
    SCOPED_TRACE(c.resume.back());
    EXPECT_EQ(Sweep(c.resume), c.code) << last_err;
    if (c.code) {
      EXPECT_NE(last_err.find("(its model differs): cannot resume"), std::string::npos) << last_err;
    }
  }
  for (const char* other : {"plain.csv", "other.csv"}) {
    std::ostringstream out, err;
    EXPECT_EQ(MergeCommand(std::vector<std::string>{Path("cycles.csv"), Path(other)}, out, err), 1) << other;
    EXPECT_NE(err.str().find("(its model differs)"), std::string::npos) << err.str();
  }
  std::ostringstream out, err;
  EXPECT_EQ(MergeCommand(std::vector<std::string>{Path("cycles.csv"), Path("same.csv")}, out, err), 0) << err.str();
}

// The lines of a file without its metadata and end lines.
std::vector<std::string> DataLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("#", 0) != 0) lines.push_back(line);
  return lines;
}

// With --cycles or --fields a sweep's runs table has a line per realisation
// and cycle, each that cycle's read-outs as ebsim run gives them, and its
// summary a line per point and cycle; a run stopped between two cycles of
// a row resumes to the same file, and shards merge to it.
TEST_F(EbsimProtocolsTest, SweepsGiveALinePerCycle) {
  auto Sweep = [&](const std::vector<std::string>& more) {
    std::ostringstream out, err;
    std::atomic<bool> stop{false};
    const int code = SweepCommand(With({"--seed-ms", "5", "--side", "12", "--dilution", "0.1", "--steps", "24",
                                        "--realizations", "3", "--cycles", "3"},
                                       more),
                                  out, err, stop);
    last_err = err.str();
    return code;
  };
  ASSERT_EQ(Sweep({"--out", Path("whole.csv"), "--summary", Path("summary.csv")}), 0) << last_err;
  const std::vector<std::string> lines = DataLines(Path("whole.csv"));
  ASSERT_EQ(lines.size(), 1 + 3 * 3u);
  EXPECT_NE(lines[0].find(",realization,cycle,seed_ms,"), std::string::npos) << lines[0];
  const std::vector<std::string> summary = DataLines(Path("summary.csv"));
  ASSERT_EQ(summary.size(), 1 + 3u);
  EXPECT_NE(summary[0].find(",point,cycle,realizations,"), std::string::npos) << summary[0];
  // Realisation 1's lines are the cycles of its run.
  const json run = Run({"--seed-ms", std::to_string((5 + 53398447) % 86400000), "--side", "12", "--dilution",
                        "0.1", "--steps", "24", "--cycles", "3"});
  for (int c = 0; c < 3; ++c) {
    const std::string& line = lines[1 + 3 + static_cast<std::size_t>(c)];
    EXPECT_NE(line.find(",0,1," + std::to_string(c + 1) + ","), std::string::npos) << line;
    for (const char* id : {"eb_shift", "coercivity", "h_down"}) {
      const json& value = run["cycles"][c]["readouts"][id];
      if (!value.is_null()) {
        EXPECT_NE(line.find("," + ShortestText(value["value"].get<double>()) + ","), std::string::npos) << id;
      }
    }
  }
  // Cut after a row's second cycle, or mid-line: the row runs again.
  for (const std::size_t kept : {1 + 3 + 2u, 1 + 3 + 1u}) {
    std::ofstream cut(Path("cut.csv"));
    std::ifstream whole(Path("whole.csv"));
    std::string line;
    std::getline(whole, line);
    cut << line << '\n';
    for (std::size_t k = 0; k < kept; ++k) cut << lines[k] << '\n';
    cut << lines[kept].substr(0, kept % 2 ? 9 : 0);
    cut.close();
    ASSERT_EQ(Sweep({"--out", Path("cut.csv"), "--resume"}), 0) << last_err;
    EXPECT_EQ(DataLines(Path("cut.csv")), lines);
  }
  // A row's cycles out of order, or ended by the end line, are no sweep's.
  for (const auto& [swap, message] : {std::pair{true, "begins at cycle 2, not 1"}, {false, "ends at cycle 2 of 3"}}) {
    std::ofstream bad(Path("bad.csv"));
    std::ifstream whole(Path("whole.csv"));
    std::string line;
    std::getline(whole, line);
    bad << line << '\n' << lines[0] << '\n';
    if (swap) bad << lines[2] << '\n' << lines[1] << '\n' << lines[3] << '\n';
    if (!swap) bad << lines[1] << '\n' << lines[2] << '\n';
    bad << "# {\"end\":\"x\",\"rows\":1,\"complete\":false}\n";
    bad.close();
    std::ostringstream out, err;
    EXPECT_EQ(MergeCommand(std::vector<std::string>{Path("bad.csv")}, out, err), 1);
    EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
  }
  for (const char* shard : {"0/2", "1/2"}) ASSERT_EQ(Sweep({"--out", Path(shard[0] + std::string(".csv")), "--shard", shard}), 0);
  std::ostringstream out, err;
  ASSERT_EQ(MergeCommand(std::vector<std::string>{Path("0.csv"), Path("1.csv"), "--out", Path("merged.csv")}, out, err), 0)
      << err.str();
  EXPECT_EQ(DataLines(Path("merged.csv")), lines);
}

// The data lines after the header.
std::vector<std::string> Body(const std::string& path) {
  std::vector<std::string> lines = DataLines(path);
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

// An adiabatic sweep's avalanche table counts, per point and branch, every
// avalanche of its realisations: as many as their loops took steps, binned
// as each realisation's own run bins them. Outputs it cannot fill are refused.
TEST_F(EbsimProtocolsTest, SweepAvalanchesCountEveryRealisationsAvalanches) {
  const std::vector<std::string> base = {"--seed-ms", "5", "--side", "16", "--dilution", "0.1", "--dynamics", "stable",
                                         "--adiabatic"};
  auto Sweep = [&](const std::vector<std::string>& more) {
    std::ostringstream out, err;
    std::atomic<bool> stop{false};
    const int code = SweepCommand(With(base, more), out, err, stop);
    last_err = err.str();
    return code;
  };
  ASSERT_EQ(Sweep({"--realizations", "3", "--out", Path("runs.csv"), "--avalanches", Path("sizes.csv")}), 0)
      << last_err;
  std::map<std::string, std::int64_t> steps, counts, own;  // by branch; by branch and bin
  for (const std::string& line : Body(Path("runs.csv"))) {
    std::vector<std::string> f;
    std::stringstream in(line);
    for (std::string x; std::getline(in, x, ',');) f.push_back(x);
    steps["down"] += std::stoll(f[f.size() - 2]);
    steps["up"] += std::stoll(f[f.size() - 1]);
    const std::string seed = f[9];
    Run(With({"--seed-ms", seed, "--side", "16", "--dilution", "0.1", "--dynamics", "stable", "--adiabatic"},
             {"--avalanches", Path("own.csv")}));
    for (const std::string& bin : Body(Path("own.csv")))
      own[bin.substr(0, bin.rfind(','))] += std::stoll(bin.substr(bin.rfind(',') + 1));
  }
  std::map<std::string, std::int64_t> binned;
  for (const std::string& line : Body(Path("sizes.csv"))) {
    const std::string bin = line.substr(line.find(",0,") + 3);  // point 0: branch,size_min,size_max,count
    binned[bin.substr(0, bin.rfind(','))] += std::stoll(bin.substr(bin.rfind(',') + 1));
    counts[bin.substr(0, bin.find(','))] += std::stoll(bin.substr(bin.rfind(',') + 1));
  }
  EXPECT_EQ(binned, own);
  EXPECT_EQ(counts, steps);
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{"--loops", Path("l.csv")}, "--adiabatic in a sweep writes no --loops"},
      {{"--avalanches", Path("a.csv"), "--shard", "0/2"}, "--avalanches takes a whole sweep"},
      {{"--enhancement", "-1"}, "--adiabatic needs an enhancement of 0 or more"},
  };
  for (const auto& [more, message] : refused) {
    EXPECT_EQ(Sweep(more), 2) << message;
    EXPECT_NE(last_err.find(message), std::string::npos) << last_err;
  }
}

// The study file's keys stand for the options of the same names.
TEST_F(EbsimProtocolsTest, StudyFileKeys) {
  const std::string path = File("study.toml",
                                "side = 4\ndynamics = \"stable\"\nboundary = \"open\"\ncycles = 2\n"
                                "fields = \"h.txt\"\nspins_at = [1, 3]\n");
  const std::vector<std::string> args = ReadStudyFile(path).sweep;
  for (const std::vector<std::string>& pair : std::vector<std::vector<std::string>>{
           {"--dynamics", "stable"}, {"--boundary", "open"}, {"--cycles", "2"}, {"--fields", "h.txt"},
           {"--spins-at", "1;3"}}) {
    const auto at = std::find(args.begin(), args.end(), pair[0]);
    ASSERT_NE(at, args.end()) << pair[0];
    EXPECT_EQ(*(at + 1), pair[1]);
  }
  EXPECT_THROW(ReadStudyFile(File("bad.toml", "spins_at = [1, \"x\"]\n")), std::invalid_argument);
}

}  // namespace
