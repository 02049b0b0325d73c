// ebsim as a cluster job: every option in the help, shards that merge into
// the very rows of one sweep, merges that refuse what does not belong, and
// a resumed sweep that ends as an uninterrupted one.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/command_options.h"
#include "tests/cli/process_helpers.h"

using namespace ebsim;

namespace {

TEST(EbsimHelpTest, EachCommandsHelpNamesEveryOptionAndTheVersionIsSaid) {
  for (const CommandSpec* command : Commands()) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{command->name, "--help"}, std::vector<std::string>{"help", command->name}}) {
      const Finished help = RunEbsim(args);
      EXPECT_EQ(help.code, 0) << command->name;
      for (const OptionSpec& option : command->options) {
        EXPECT_NE(help.out.find("--" + option.name), std::string::npos) << command->name << " --" << option.name;
        for (const std::string& alias : option.aliases)
          EXPECT_NE(help.out.find("--" + alias), std::string::npos) << command->name << " --" << alias;
      }
    }
  }
  const Finished sweep = RunEbsim({"sweep", "--help"});
  EXPECT_NE(sweep.out.find("default 300"), std::string::npos) << "the defaults are shown";
  const Finished version = RunEbsim({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("ebsim 0.", 0), 0u) << version.out;
  EXPECT_EQ(RunEbsim({"help", "frobnicate"}).code, 2);
}

const std::vector<std::string> kSweep = {"sweep", "--seed", "700", "--side", "6", "--steps", "20",
                                         "--dilution", "0;0.2", "--sd", "1;2", "--realisations", "5", "--threads", "2"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST(ShardTest, ShardsMergeIntoTheRowsOfTheWholeSweep) {
  const ScratchDir dir;
  ASSERT_EQ(RunEbsim(With(kSweep, {"--out", dir / "whole.csv", "--summary", dir / "whole-summary.csv"})).code, 0);
  for (const char* shard : {"0/3", "1/3", "2/3"})
    ASSERT_EQ(RunEbsim(With(kSweep, {"--shard", shard, "--out", dir / "runs-" + std::string(1, shard[0]) + ".csv"})).code, 0);
  // The shards in any order.
  const Finished merge = RunEbsim({"merge", dir / "runs-2.csv", dir / "runs-0.csv", dir / "runs-1.csv", "--out",
                                   dir / "runs.csv", "--summary", dir / "summary.csv"});
  ASSERT_EQ(merge.code, 0) << merge.err;
  EXPECT_EQ(TableLines(ReadFile(dir / "runs.csv")), TableLines(ReadFile(dir / "whole.csv")));
  EXPECT_EQ(TableLines(ReadFile(dir / "summary.csv")), TableLines(ReadFile(dir / "whole-summary.csv")));
  EXPECT_EQ(TableLines(ReadFile(dir / "runs.csv")).size(), 1u + 4 * 5);
  // A shard's rows keep their global realisation numbers.
  const std::vector<std::string> shard = TableLines(ReadFile(dir / "runs-1.csv"));
  const std::size_t realization = Column(CsvFields(shard[0]), "realization");
  EXPECT_EQ(CsvFields(shard[1])[realization], "1");
  EXPECT_EQ(CsvFields(shard[2])[realization], "4");

  // Missing rows are reported, with the first one.
  const Finished partial = RunEbsim({"merge", dir / "runs-0.csv", dir / "runs-2.csv", "--out", dir / "partial.csv"});
  EXPECT_EQ(partial.code, 1);
  EXPECT_NE(partial.err.find("7 rows missing, the first: point 0 realization 1"), std::string::npos) << partial.err;

  struct Refused {
    std::vector<std::string> shards;
    std::string message;
  };
  ASSERT_EQ(RunEbsim(With(kSweep, {"--seed", "701", "--shard", "1/3", "--out", dir / "foreign.csv"})).code, 0);
  ASSERT_EQ(RunEbsim(With(kSweep, {"--shard", "1/2", "--out", dir / "half.csv"})).code, 0);
  const Refused refused[] = {
      {{dir / "runs-0.csv", dir / "runs-0.csv"}, "shards overlap"},
      {{dir / "runs-0.csv", dir / "half.csv"}, "shards overlap"},
      {{dir / "runs-0.csv", dir / "foreign.csv"}, "belongs to another sweep than '" + dir / "runs-0.csv" + "' (its seed_ms differs)"},
      {{dir / "runs-0.csv", dir / "whole-summary.csv"}, "is a summary table, not a runs table"},
  };
  for (const Refused& r : refused) {
    const Finished call = RunEbsim(With({"merge", "--out", dir / "refused.csv"}, r.shards));
    EXPECT_EQ(call.code, 1) << r.message;
    EXPECT_NE(call.err.find(r.message), std::string::npos) << call.err;
  }
  EXPECT_FALSE(fs::exists(dir / "refused.csv"));
}

TEST(ResumeTest, AResumedSweepEndsAsOneThatRanThrough) {
  const ScratchDir dir;
  const std::vector<std::string> sweep = {"sweep", "--seed-ms", "9", "--side", "30", "--realizations", "2000",
                                          "--threads", "2", "--out", dir / "runs.csv", "--summary", dir / "summary.csv"};
  // Interrupted once the rows come, and again after resuming.
  for (int stop = 0; stop < 2; ++stop) {
    const pid_t pid = Start(stop ? With(sweep, {"--resume"}) : sweep, dir / "out", dir / "err");
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    // The rows taken over are said when the resumed sweep starts.
    if (stop) {
      EXPECT_NE(ReadFile(dir / "err").find("resumed after "), std::string::npos) << ReadFile(dir / "err");
    }
    kill(pid, SIGINT);
    ASSERT_EQ(Wait(pid), 130) << ReadFile(dir / "err");
  }
  const std::size_t kept = TableLines(ReadFile(dir / "runs.csv")).size() - 1;
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, 2000u);
  // Without --seed-ms the seed of the earlier run is taken.
  std::vector<std::string> resumed = With(sweep, {"--resume"});
  resumed.erase(resumed.begin() + 1, resumed.begin() + 3);
  const Finished rest = RunEbsim(resumed);
  ASSERT_EQ(rest.code, 0) << rest.err;
  // The rows up to the first gap the stop left are kept; the rest run again.
  const std::size_t at = rest.err.find("resumed after ");
  ASSERT_NE(at, std::string::npos) << rest.err;
  const std::size_t resumedRows = std::stoul(rest.err.substr(at + 14));
  EXPECT_GT(resumedRows, 0u);
  EXPECT_LE(resumedRows, kept);

  const Finished whole = RunEbsim(With(sweep, {"--out", dir / "whole.csv", "--summary", dir / "whole-summary.csv"}));
  ASSERT_EQ(whole.code, 0) << whole.err;
  EXPECT_EQ(TableLines(ReadFile(dir / "runs.csv")), TableLines(ReadFile(dir / "whole.csv")));
  EXPECT_EQ(TableLines(ReadFile(dir / "summary.csv")), TableLines(ReadFile(dir / "whole-summary.csv")));
  const auto end = nlohmann::json::parse(Lines(ReadFile(dir / "runs.csv")).back().substr(2));
  EXPECT_EQ(end.at("rows"), 2000);
  EXPECT_EQ(end.at("complete"), true);

  // Another sweep in the file is not resumed, and the file is left alone.
  const std::string before = ReadFile(dir / "runs.csv");
  const Finished other = RunEbsim({"sweep", "--seed-ms", "9", "--side", "31", "--realizations", "2000", "--out",
                                   dir / "runs.csv", "--resume"});
  EXPECT_EQ(other.code, 1);
  EXPECT_NE(other.err.find("holds another sweep (its grid differs): cannot resume"), std::string::npos) << other.err;
  EXPECT_EQ(ReadFile(dir / "runs.csv"), before);
}

}  // namespace
