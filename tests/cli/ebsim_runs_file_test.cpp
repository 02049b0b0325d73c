// Runs tables read back by merge and --resume: metadata that does not hold
// together, rows that are not the sweep's the metadata names, and files
// that end mid-row or in CRLF. Each is refused with the file, the line and
// what is wrong, or read as what it is.

#include <functional>

#include "tests/cli/process_helpers.h"

using namespace ebsim;

namespace {

using Edit = std::function<std::string(std::string)>;

const std::vector<std::string> kSweep = {"sweep", "--seed-ms", "700", "--side", "3", "--steps", "2",
                                         "--dilution", "0.1;0.2", "--realizations", "3"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

Edit Replace(const std::string& from, const std::string& to) {
  return [=](std::string text) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
}

// Line n (from 1) made by `edit` from the file's lines.
Edit Line(std::size_t n, std::function<std::string(const std::vector<std::string>&)> edit) {
  return [=](const std::string& text) {
    std::vector<std::string> lines = Lines(text);
    lines[n - 1] = edit(lines);
    std::string joined;
    for (const std::string& line : lines) joined += line + "\n";
    return joined;
  };
}

// Line n with field k set to `value`.
Edit Field(std::size_t n, std::size_t k, const std::string& value) {
  return Line(n, [=](const std::vector<std::string>& lines) {
    std::vector<std::string> fields = CsvFields(lines[n - 1]);
    fields[k] = value;
    std::string line = fields.front();
    for (std::size_t f = 1; f < fields.size(); ++f) line += "," + fields[f];
    return line;
  });
}

// The table as a version before the standard read-outs wrote it: every
// line but the metadata and end lines without h_down ... loop_half_width.
std::string WithoutStandardReadouts(const std::string& text) {
  std::string earlier;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("#", 0) == 0) {
      earlier += line + "\n";
      continue;
    }
    std::vector<std::string> fields = CsvFields(line);
    fields.erase(fields.begin() + 19, fields.begin() + 23);  // after 7 + 3 + 9
    for (std::size_t f = 0; f < fields.size(); ++f) earlier += (f ? "," : "") + fields[f];
    earlier += "\n";
  }
  return earlier;
}

class RunsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunEbsim(With(kSweep, {"--out", dir_ / "runs.csv", "--summary", dir_ / "summary.csv"})).code, 0);
    runs_ = ReadFile(dir_ / "runs.csv");
  }
  std::string Write(const Edit& edit) {
    std::ofstream(dir_ / "m.csv", std::ios::binary) << edit(runs_);
    return dir_ / "m.csv";
  }
  // merge refuses the file, writing nothing.
  void ExpectMergeRefuses(const std::string& path, const std::string& message) {
    const Finished call = RunEbsim({"merge", path, "--out", dir_ / "merged.csv"});
    EXPECT_EQ(call.code, 1) << message;
    EXPECT_NE(call.err.find(message), std::string::npos) << call.err << "wanted: " << message;
    EXPECT_FALSE(fs::exists(dir_ / "merged.csv"));
  }
  // --resume refuses it, leaving it as it was.
  void ExpectResumeRefuses(const std::string& path, const std::string& message) {
    const std::string before = ReadFile(path);
    const Finished call = RunEbsim(With(kSweep, {"--out", path, "--resume"}));
    EXPECT_EQ(call.code, 1) << message;
    EXPECT_NE(call.err.find(message), std::string::npos) << call.err << "wanted: " << message;
    EXPECT_EQ(ReadFile(path), before);
  }
  ScratchDir dir_;
  std::string runs_;
};

TEST_F(RunsFileTest, MetadataThatDoesNotHoldTogetherIsRefused) {
  const struct {
    Edit edit;
    std::string message;
  } cases[] = {
      {Replace("\"rows\":6", "\"rows\":5"), "metadata refused: its \"rows\" is 5, not points x realizations"},
      {Replace("\"realizations\":3", "\"realizations\":1000000000000000"), "its \"rows\" is 6, not points x"},
      {Replace("\"realizations\":3", "\"realizations\":-3"), "its \"realizations\" is -3, not a whole number"},
      {Replace("\"points\":2", "\"points\":4000000000000"), "its \"points\" is 4000000000000, but its grid has 2"},
      {Replace("\"seed_ms\":700", "\"seed_ms\":-5"), "its \"seed_ms\" is -5, not a time of day in milliseconds"},
      {Replace("\"seed_ms\":700", "\"seed_ms\":1e400"),
       "its metadata line is not valid JSON (number overflow parsing '1e400')"},
      {[&](const std::string&) { return ReadFile(dir_ / "summary.csv"); }, "is a summary table, not a runs table"},
      {[](const std::string&) { return ""; }, "is empty, not a runs table"},
      {[](const std::string&) { return std::string("\x89HDF\r\n\x1a\n\0\0", 10); }, "is an HDF5 file, not a runs table"},
      // An earlier version's table, without the standard read-outs: its rows
      // would leave them blank.
      {WithoutStandardReadouts,
       "has another header than this sweep's runs table: it lacks the columns h_down, h_up, loop_centre, "
       "loop_half_width"},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.edit);
    ExpectMergeRefuses(path, "'" + path + "'");
    ExpectMergeRefuses(path, c.message);
    ExpectResumeRefuses(path, c.message);
  }
  // Without --seed-ms the seed is read from the file, and its fault said.
  const std::string path = Write(Replace("\"seed_ms\":700", "\"seed_ms\":-5"));
  std::vector<std::string> unseeded = With(kSweep, {"--out", path, "--resume"});
  unseeded.erase(unseeded.begin() + 1, unseeded.begin() + 3);
  const Finished call = RunEbsim(unseeded);
  EXPECT_NE(call.err.find("its \"seed_ms\" is -5"), std::string::npos) << call.err;
  EXPECT_EQ(call.err.find("differs"), std::string::npos) << call.err;

  const Finished missing = RunEbsim({"merge", dir_ / "ne.csv"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("cannot read '" + dir_ / "ne.csv" + "': No such file or directory"), std::string::npos)
      << missing.err;
}

// Columns of the runs table of kSweep.
constexpr std::size_t kDilution = 1, kSeed = 9, kMagnetization = 14;

TEST_F(RunsFileTest, RowsThatAreNotTheSweepsOfTheMetadataAreRefused) {
  const struct {
    Edit edit;
    std::string message;
    bool resumeReadsIt;  // the row comes before the first gap
  } cases[] = {
      {Field(3, kDilution, "0.2"),
       "line 3: a row of another sweep (point 0 realization 0): its dilution is '0.2', the point's is '0.1'", true},
      {Field(3, kSeed, "701"), "line 3: a row of another sweep (point 0 realization 0): its seed_ms is 701, not 700",
       true},
      {Field(4, kSeed, "700"), "line 4: a row of another sweep (point 0 realization 1): its seed_ms is 700, not 53399147",
       true},
      {Field(3, kMagnetization, "nan"), "line 3: a row no sweep wrote (point 0 realization 0): its magnetization is 'nan'",
       true},
      {Field(3, kMagnetization, "1e999"), "line 3: a row no sweep wrote (point 0 realization 0): its magnetization is '1e999', not a finite number", true},
      {Line(4, [](const auto& lines) { return lines[2]; }), "line 4: point 0 realization 0 given twice", true},
      {[](const std::string& text) {
         const std::string fourth = Lines(text)[3];
         return Line(5, [=](const auto&) { return fourth; })(Line(4, [](const auto& lines) { return lines[4]; })(text));
       },
       "line 5: rows out of order: point 0 realization 1 after point 0 realization 2", false},
      {[](const std::string& text) { return text + text; }, "line 10: a line after the end line", false},
      {Replace("\"shard\":\"0/1\"", "\"shard\":\"1/2\""),
       "line 3: a row of another shard: point 0 realization 0 is not in shard 1/2", false},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.edit);
    ExpectMergeRefuses(path, "'" + path + "', " + c.message);
    if (c.resumeReadsIt) ExpectResumeRefuses(path, "'" + path + "', " + c.message + "");
  }
}

TEST_F(RunsFileTest, ARowCutMidLineIsRedoneByResumeAndCrlfIsRead) {
  // The writer stopped in the middle of the fourth row: no end line.
  const std::size_t cut = runs_.find('\n', runs_.find("\n3,0.2") + 1) - 20;
  const std::string crlf = [&] {
    std::string text;
    for (const std::string& line : Lines(runs_)) text += line + "\r\n";
    return text;
  }();
  const std::string cutCrlf = crlf.substr(0, crlf.find('\n', crlf.find("\n3,0.2") + 1) - 20);

  ExpectMergeRefuses(Write([&](const std::string&) { return runs_.substr(0, cut); }),
                     "ends in a row cut short (line 6): its writer was stopped mid-line");
  for (const std::string& left : {runs_.substr(0, cut), cutCrlf}) {
    const std::string path = Write([&](const std::string&) { return left; });
    const Finished resumed = RunEbsim(With(kSweep, {"--out", path, "--resume"}));
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("resumed after 3 rows"), std::string::npos) << resumed.err;
    EXPECT_EQ(TableLines(ReadFile(path)), TableLines(runs_));
  }
  const Finished merged = RunEbsim({"merge", Write([&](const std::string&) { return crlf; })});
  ASSERT_EQ(merged.code, 0) << merged.err;
  EXPECT_EQ(TableLines(merged.out), TableLines(runs_));
}

}  // namespace
