// Study files and reruns: a study file gives the rows of the command line
// it stands for, a rerun gives the rows of the file it reruns byte for byte
// and says where they differ, and study files that cannot be read as a
// sweep are refused with the key, the line and what is wrong.

#include <nlohmann/json.hpp>

#include "batch/sweep_output.h"
#include "tests/cli/process_helpers.h"

using namespace ebsim;

namespace {

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

nlohmann::json FirstLine(const std::string& path) { return nlohmann::json::parse(Lines(ReadFile(path))[0].substr(2)); }

struct Study {
  std::string toml;
  std::vector<std::string> args;  // of the ebsim sweep it stands for
};

TEST(StudyTest, AStudyFileGivesTheRowsOfItsCommandLine) {
  const Study cases[] = {
      {"dilution = \"0:0.2:0.1\"\nfield_sd = [1, 2.5]\nside = 12\nsteps = \"40;60\"\nrealizations = 2\n"
       "seed_ms = 700\nthreads = 1\n",
       {"--dilution", "0:0.2:0.1", "--sd", "1;2.5", "--side", "12", "--steps", "40;60", "--realizations", "2",
        "--seed-ms", "700"}},
      // Another separator: floats written with it, texts as they are.
      {"separator = \",\"\nsd = [1.5, \"2,5\"]\nh0 = 2.75\nside = [10, \"12\"]\nrealizations = 2\nseed_ms = 1\n",
       {"--sep", ",", "--sd", "1,5;2,5", "--h0", "2,75", "--side", "10;12", "--realizations", "2", "--seed-ms", "1"}},
  };
  for (const Study& c : cases) {
    const ScratchDir dir;
    const std::string outputs = "[outputs]\nout = \"" + dir / "s_runs.csv" + "\"\nsummary = \"" + dir / "s_summary.csv";
    WriteFile(dir / "study.toml", c.toml + outputs + "\"\n");
    ASSERT_EQ(RunEbsim({"study", dir / "study.toml"}).code, 0) << c.toml;
    std::vector<std::string> sweep = {"sweep", "--out", dir / "c_runs.csv", "--summary", dir / "c_summary.csv"};
    sweep.insert(sweep.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(RunEbsim(sweep).code, 0) << c.toml;
    for (const char* table : {"runs", "summary"}) {
      const std::string study = dir / ("s_" + std::string(table) + ".csv");
      const std::string line = dir / ("c_" + std::string(table) + ".csv");
      EXPECT_EQ(TableLines(ReadFile(study)), TableLines(ReadFile(line))) << c.toml;
      EXPECT_EQ(FirstLine(study)["sweep"], FirstLine(line)["sweep"]) << c.toml;
      EXPECT_EQ(FirstLine(study)["study"]["file"], dir / "study.toml");
      EXPECT_EQ(FirstLine(study)["study"]["text"], ReadFile(dir / "study.toml"));
    }
  }
  // The HDF5 file with its flags; false is as if the key were not there.
  const ScratchDir dir;
  WriteFile(dir / "study.toml", "side = 8\nsteps = 20\nseed_ms = 3\n[outputs]\nh5 = \"s.h5\"\nh5_loops = true\n"
                                "h5_spins = false\nout = \"s.csv\"\n");
  ASSERT_EQ(RunEbsim({"study", "study.toml"}, dir.Path()).code, 0);
  const auto command = FirstLine(dir / "s.csv")["command"].get<std::vector<std::string>>();
  EXPECT_EQ(std::count(command.begin(), command.end(), "--h5-loops"), 1);
  EXPECT_EQ(std::count(command.begin(), command.end(), "--h5-spins"), 0);
  const Finished rerun = RunEbsim({"rerun", "s.h5", "--into", "again"}, dir.Path());
  EXPECT_EQ(rerun.code, 0) << rerun.err;
  EXPECT_NE(rerun.out.find("identical: every dataset of 's.h5'"), std::string::npos) << rerun.out;
}

struct Refused {
  std::string toml;
  int code;
  std::string err;  // stderr holds this
};

TEST(StudyTest, KeysAndValuesThatNameNoSweepAreRefused) {
  const Refused cases[] = {
      {"dilution = 0.1\nalgorithm = \"glauber\"\nengine = \"compact\"\n[outputs]\nout = \"r.csv\"\nhdf5 = \"r.h5\"\n", 2,
       "study.toml: unknown keys 'algorithm' (line 2), 'engine' (line 3), 'outputs.hdf5' (line 6); a study file takes "
       "side, dilution"},
      {"dynamics = \"glauber\"\n", 2, "--dynamics takes pass or stable, not 'glauber'"},
      {"spins_at = 1.5\n", 2, "study.toml:1: spins_at takes a whole number, a text or an array of whole numbers, not a float"},
      {"side = 2.5\n", 2, "study.toml:1: side takes an integer, a text or an array of them, not a float"},
      {"\ndilution = [0.1, true]\n", 2,
       "study.toml:2: dilution takes a number, a text or an array of them, not a boolean"},
      {"dilution = []\n", 2, "study.toml:1: dilution is given no values"},
      {"realizations = \"5\"\n", 2, "study.toml:1: realizations takes a whole number, not a text"},
      {"sd = 1\nfield_sd = 2\n", 2, "field_sd is given twice (as 'field_sd' and 'sd')"},
      {"outputs = \"r.csv\"\n", 2, "study.toml:1: outputs is a table"},
      {"[outputs]\nh5_loops = 1\n", 2, "study.toml:2: h5_loops takes true or false, not an integer"},
      {"side = \n", 2, "study.toml:1: "},
      {"realizations = 0\n", 2, "ebsim study: --realizations takes a whole number of at least 1: '0'"},
      {"dilution = \"abc\"\n", 2, "ebsim study: 'abc' is not a valid floating point value."},
  };
  for (const Refused& c : cases) {
    const ScratchDir dir;
    WriteFile(dir / "study.toml", c.toml);
    const Finished call = RunEbsim({"study", "study.toml"}, dir.Path());
    EXPECT_EQ(call.code, c.code) << c.toml << call.err;
    EXPECT_NE(call.err.find(c.err), std::string::npos) << call.err;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"study.toml"}) << c.toml;
  }
  EXPECT_EQ(RunEbsim({"study", "/nonexistent/study.toml"}).code, 1);
}

TEST(RerunTest, ARerunGivesEveryTableByteForByteAndNamesALineThatDiffers) {
  const ScratchDir dir;
  // A failed realisation, loops of two lengths, a seed from the clock.
  ASSERT_EQ(RunEbsim({"sweep", "--side", "6;301", "--sd", "1;1e308", "--steps", "20;30", "--realizations", "2",
                      "--out", "runs.csv", "--summary", "summary.csv", "--loops", "loops.csv", "--loop-mean",
                      "loop_mean.csv"},
                     dir.Path())
                .code,
            0);
  ASSERT_EQ(RunEbsim({"run", "--seed-ms", "5", "--loop-csv", "loop.csv"}, dir.Path()).code, 0);
  for (const char* file : {"runs.csv", "summary.csv", "loops.csv", "loop_mean.csv", "loop.csv"}) {
    const std::string into = dir / ("rerun-" + std::string(file));
    const Finished rerun = RunEbsim({"rerun", file, "--into", into}, dir.Path());
    EXPECT_EQ(rerun.code, 0) << file << rerun.err;
    EXPECT_EQ(rerun.out.rfind("ebsim rerun: identical: the header and ", 0), 0u) << rerun.out;
    const std::vector<std::string> mine = Lines(ReadFile(dir / file)), theirs = Lines(ReadFile(into + "/" + file));
    ASSERT_EQ(mine.size(), theirs.size()) << file;
    EXPECT_TRUE(std::equal(mine.begin() + 1, mine.end() - 1, theirs.begin() + 1)) << file;
  }
  // A runs table of an earlier version, without the standard read-outs, is
  // compared in its columns; a value changed there is still named.
  std::string earlier;
  for (const std::string& line : Lines(ReadFile(dir / "runs.csv"))) {
    if (line.rfind("#", 0) == 0) {
      earlier += line + "\n";
      continue;
    }
    std::vector<std::string> fields = ReadCsvFields(line);
    const auto at = fields.end() - 7;  // h_down ... loop_half_width, then the steps and the error
    fields.erase(at, at + 4);
    for (std::size_t k = 0; k < fields.size(); ++k) earlier += (k ? "," : "") + CsvField(fields[k]);
    earlier += "\n";
  }
  WriteFile(dir / "earlier.csv", earlier);
  const Finished kept = RunEbsim({"rerun", "earlier.csv", "--into", "earlier"}, dir.Path());
  EXPECT_EQ(kept.code, 0) << kept.out << kept.err;
  EXPECT_NE(kept.out.find("in its columns, field for field (the rerun adds the columns h_down, h_up, loop_centre, "
                          "loop_half_width)"),
            std::string::npos)
      << kept.out;
  earlier[earlier.find("\n6,") + 1] = '7';
  WriteFile(dir / "earlier.csv", earlier);
  EXPECT_NE(RunEbsim({"rerun", "earlier.csv", "--into", "changed"}, dir.Path()).out.find("line 3 differs"),
            std::string::npos);
  // A changed row is named; a folder that holds the file is refused, and
  // the original is left as it was.
  std::string runs = ReadFile(dir / "runs.csv");
  runs[runs.find("\n6,") + 1] = '7';
  WriteFile(dir / "runs.csv", runs);
  const Finished changed = RunEbsim({"rerun", "runs.csv", "--into", "again"}, dir.Path());
  EXPECT_EQ(changed.code, 1);
  EXPECT_NE(changed.out.find("ebsim rerun: line 3 differs: 'runs.csv' has '"), std::string::npos) << changed.out;
  const Finished here = RunEbsim({"rerun", "runs.csv", "--into", "."}, dir.Path());
  EXPECT_EQ(here.code, 1);
  EXPECT_NE(here.err.find("'.' already holds 'runs.csv'"), std::string::npos) << here.err;
  EXPECT_EQ(ReadFile(dir / "runs.csv"), runs);
  const Finished other = RunEbsim({"rerun", "no.csv"}, dir.Path());
  EXPECT_EQ(other.code, 1);
  EXPECT_NE(other.err.find("'no.csv' cannot be read"), std::string::npos) << other.err;
}

}  // namespace
