// ebsim run end to end: the JSON it prints for fixed seeds, its failures
// and its exit codes.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "form/field_numbers.h"
#include "cli/run_command.h"

using namespace ebsim;

namespace {

class EbsimRunTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunCommand(args, out, err);
  }

  std::ostringstream out, err;
};

// Side 2 seeded at 3 ms: every cell copies cell (1, 1), with J = 1 and a
// random field of 0.161. The local field of every site is 2 + 0.161 + H
// while all spins are up, so it changes sign between -1.5 and -3, and the
// spins turn one pass later, at -4.5; on the way up likewise at 4.5. The
// crossings at -3.75 and 3.75 give no shift and a coercivity of 7.5.
TEST_F(EbsimRunTest, TinyLoop) {
  ASSERT_EQ(Run({"--seed-ms", "3", "--side", "2", "--steps", "8", "--sd", "3", "--loop"}), 0);
  EXPECT_EQ(out.str(), R"({"seed_ms": 3, "side": 2,
 "readouts": {
  "Surface Ratio of Dilution": {"value": "0", "shown": "0    "},
  "E-B Shift": {"value": "0", "shown": "0    "},
  "Coercivity": {"value": "7.5", "shown": "7.5  "},
  "Vertical Shift": {"value": "0", "shown": "0    "},
  "Magnetization": {"value": "1", "shown": "1    "},
  "Applied Field": {"value": "4.5", "shown": "4.5  "},
  "Open End": {"value": "0", "shown": "0    "},
  "+1 spins at H_min.": {"value": "0", "shown": "0    "},
  "-1 spins at H_max": {"value": "0", "shown": "0    "}},
 "steps": {"descending": 6, "ascending": 6},
 "loop": [
  ["down", "3", "1"],
  ["down", "1.5", "1"],
  ["down", "0", "1"],
  ["down", "-1.5", "1"],
  ["down", "-3", "1"],
  ["down", "-4.5", "-1"],
  ["up", "-3", "-1"],
  ["up", "-1.5", "-1"],
  ["up", "0", "-1"],
  ["up", "1.5", "-1"],
  ["up", "3", "-1"],
  ["up", "4.5", "1"]]}
)");
  EXPECT_EQ(err.str(), "");
}

// Side 3 seeded at 0 ms: the draws of cells (1, 1) and (1, 2) lie below
// 0.04, so rows 1 and 3 carry 10; the computed energies are 11, 21, 21 and
// 22. The exchange holds every spin up through the whole loop.
TEST_F(EbsimRunTest, MapsOfASmallLattice) {
  ASSERT_EQ(Run({"--seed-ms", "0", "--side", "3", "--maps"}), 0);
  EXPECT_EQ(out.str(), R"({"seed_ms": 0, "side": 3,
 "readouts": {
  "Surface Ratio of Dilution": {"value": "0.666666666666667", "shown": "0.666"},
  "E-B Shift": null,
  "Coercivity": null,
  "Vertical Shift": {"value": "1", "shown": "1    "},
  "Magnetization": {"value": "1", "shown": "1    "},
  "Applied Field": {"value": "3", "shown": "3    "},
  "Open End": {"value": "0", "shown": "0    "},
  "+1 spins at H_min.": {"value": "1", "shown": "1    "},
  "-1 spins at H_max": {"value": "0", "shown": "0    "}},
 "steps": {"descending": 151, "ascending": 151},
 "maps": {"ExchangeMap": [
    [10, 10, 10],
    [1, 1, 1],
    [10, 10, 10]],
  "FmEnergyMap": [
    [11, 21, 11],
    [21, 22, 21],
    [11, 21, 11]],
  "QrfMap": [
    [-2.394922421309785, -0.972247740546835, -2.394922421309785],
    [-3.816864704545104, -1.6814197359726708, -3.816864704545104],
    [-2.394922421309785, -0.972247740546835, -2.394922421309785]]}}
)");
}

// The window's defaults seeded at 0 ms; the window test expects the same
// read-outs on screen.
TEST_F(EbsimRunTest, DefaultRun) {
  ASSERT_EQ(Run({"--seed-ms", "0"}), 0);
  EXPECT_EQ(out.str(), R"({"seed_ms": 0, "side": 20,
 "readouts": {
  "Surface Ratio of Dilution": {"value": "0.055", "shown": "0.055"},
  "E-B Shift": {"value": "-0.44", "shown": "-0.44"},
  "Coercivity": {"value": "2.36000000000001", "shown": "2.360"},
  "Vertical Shift": {"value": "0.1425", "shown": "0.142"},
  "Magnetization": {"value": "0.87", "shown": "0.87 "},
  "Applied Field": {"value": "3", "shown": "3    "},
  "Open End": {"value": "0.13", "shown": "0.13 "},
  "+1 spins at H_min.": {"value": "0.1775", "shown": "0.177"},
  "-1 spins at H_max": {"value": "0.065", "shown": "0.065"}},
 "steps": {"descending": 151, "ascending": 151}}
)");
}

// With "," as separator the inputs are read with it and the read-outs
// shown with it; the values stay in "." notation.
TEST_F(EbsimRunTest, CommaSeparator) {
  ASSERT_EQ(Run({"--seed-ms", "5", "--sep", ",", "--side", "4", "--steps", "20", "--hmin", "-2,5"}), 0);
  EXPECT_EQ(out.str(), R"({"seed_ms": 5, "side": 4,
 "readouts": {
  "Surface Ratio of Dilution": {"value": "0", "shown": "0    "},
  "E-B Shift": {"value": "1.2125", "shown": "1,212"},
  "Coercivity": {"value": "3.575", "shown": "3,575"},
  "Vertical Shift": null,
  "Magnetization": {"value": "0.375", "shown": "0,375"},
  "Applied Field": {"value": "3.55", "shown": "3,55 "},
  "Open End": {"value": "0.625", "shown": "0,625"},
  "+1 spins at H_min.": {"value": "0", "shown": "0    "},
  "-1 spins at H_max": {"value": "0.3125", "shown": "0,312"}},
 "steps": {"descending": 12, "ascending": 12}}
)");
  // "." is then no separator.
  EXPECT_EQ(Run({"--seed-ms", "5", "--sep", ",", "--hmin", "-2.5"}), 1);
  EXPECT_EQ(out.str(), "{\"error\": \"'-2.5' is not a valid floating point value.\", \"stage\": \"run\"}\n");
}

TEST_F(EbsimRunTest, FailuresNameTheirButton) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
    const char* stage;
  };
  const Case cases[] = {
      {{"--side", "0"}, "'0' is not a valid lattice side (1 to 46340)", "lee"},
      {{"--side", "46341"}, "'46341' is not a valid lattice side (1 to 46340)", "lee"},
      {{"--dilution", "x"}, "'x' is not a valid floating point value.", "lee"},
      {{"--sd", "abc"}, "'abc' is not a valid floating point value.", "qrf"},
      {{"--steps", "0"}, "'0' is not a valid number of steps (1 or more)", "run"},
      {{"--h0", "-3", "--hmin", "3"}, "Init. Mag. Field must not be below Min. Mag. Field.", "run"},
      {{"--h0", "1e-400", "--hmin", "0"}, "The field range is too small for the number of steps.", "run"},
      {{"--h0", "0", "--hmin", "0"}, "Invalid floating point operation.", "run"},
      {{"--h0", "-0.5"}, "Floating point division by zero.", "run"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--seed-ms", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    EXPECT_EQ(Run(args), 1);
    EXPECT_EQ(out.str(), std::string("{\"error\": \"") + c.error + "\", \"stage\": \"" + c.stage + "\"}\n");
    EXPECT_EQ(err.str(), "");
  }
}

TEST_F(EbsimRunTest, BadOptionsExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--bogus", "1"}, "unknown option --bogus"},
      {{"--side"}, "--side needs a value"},
      {{"--seed-ms", "86400000"}, "--seed-ms takes milliseconds since midnight, 0 to 86399999: '86400000'"},
      {{"--seed-ms", "-1"}, "--seed-ms takes milliseconds since midnight, 0 to 86399999: '-1'"},
      {{"--loop=1"}, "--loop takes no value"},
      {{"--sep", "ab"}, "--sep takes one character: 'ab'"},
      {{"positional"}, "unexpected argument 'positional'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(Run(c.args), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), std::string("ebsim run: ") + c.message + "\n");
  }
}

TEST_F(EbsimRunTest, OptionsTakeEqualsSigns) {
  ASSERT_EQ(Run({"--seed-ms=3", "--side=2", "--steps=8", "--sd=3"}), 0);
  const std::string withEquals = out.str();
  ASSERT_EQ(Run({"--seed-ms", "3", "--side", "2", "--steps", "8", "--sd", "3"}), 0);
  EXPECT_EQ(out.str(), withEquals);
  EXPECT_NE(withEquals.find("\"Coercivity\": {\"value\": \"7.5\""), std::string::npos);
}

}  // namespace
