// ebsim run end to end: the JSON it prints for fixed seeds, its failures
// and its exit codes.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/version.h"
#include "cli/run_command.h"
#include "form/field_numbers.h"

using namespace ebsim;

namespace {

class EbsimRunTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunCommand(args, out, err);
  }

  // The printed object without its provenance, which the cases check once.
  nlohmann::ordered_json Result() const {
    auto json = nlohmann::ordered_json::parse(out.str());
    for (const char* key : {"version", "seed_ms", "separator", "inputs"}) json.erase(key);
    return json;
  }

  std::ostringstream out, err;
};

using nlohmann::ordered_json;

// A read-out: its number (exactly the double), the five characters shown.
ordered_json R(double value, const char* shown) { return {{"value", value}, {"shown", shown}}; }
// A standard read-out, which the window does not show.
ordered_json V(double value) { return {{"value", value}}; }

// Side 2 seeded at 3 ms: every cell copies cell (1, 1), with J = 1 and a
// random field of 0.161. The local field of every site is 2 + 0.161 + H
// while all spins are up, so it changes sign between -1.5 and -3, and the
// spins turn one pass later, at -4.5; on the way up likewise at 4.5. The
// crossings at -3.75 and 3.75 give no shift and a coercivity of 7.5: the
// loop's centre is 0 and its half width 3.75.
TEST_F(EbsimRunTest, TinyLoop) {
  ASSERT_EQ(Run({"--seed-ms", "3", "--side", "2", "--steps", "8", "--sd", "3", "--loop"}), 0);
  ordered_json loop = ordered_json::array();
  const double H[] = {3, 1.5, 0, -1.5, -3, -4.5, -3, -1.5, 0, 1.5, 3, 4.5};
  const double M[] = {1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, 1};
  for (int k = 0; k < 12; ++k) loop.push_back({{"step", k}, {"branch", k < 6 ? "down" : "up"}, {"H", H[k]}, {"M", M[k]}});
  const ordered_json expected = {
      {"side", 2},
      {"readouts",
       {{"surface_ratio", R(0, "0    ")}, {"eb_shift", R(-0.0, "0    ")}, {"coercivity", R(7.5, "7.5  ")},
        {"vertical_shift", R(0, "0    ")}, {"magnetization", R(1, "1    ")}, {"applied_field", R(4.5, "4.5  ")},
        {"open_end", R(0, "0    ")}, {"plus_spins_at_hmin", R(0, "0    ")}, {"minus_spins_at_hmax", R(0, "0    ")},
        {"h_down", V(-3.75)}, {"h_up", V(3.75)}, {"loop_centre", V(0)}, {"loop_half_width", V(3.75)}}},
      {"steps", {{"descending", 6}, {"ascending", 6}}},
      {"loop", loop}};
  EXPECT_EQ(Result(), expected);
  // Everything that made it: the version, the seed, the separator and every input text.
  EXPECT_EQ(ordered_json::parse(out.str()).at("version"), ProgramVersion());
  EXPECT_EQ(ordered_json::parse(out.str()).at("seed_ms"), 3);
  EXPECT_EQ(ordered_json::parse(out.str()).at("separator"), ".");
  EXPECT_EQ(ordered_json::parse(out.str()).at("inputs"),
            (ordered_json{{"side", "2"}, {"dilution", "0.04"}, {"enhancement", "10"}, {"field_sd", "3"},
                          {"h0", "3"}, {"hmin", "-3"}, {"steps", "8"}}));
  EXPECT_EQ(err.str(), "");
}

// Side 3 seeded at 0 ms: the draws of cells (1, 1) and (1, 2) lie below
// 0.04, so rows 1 and 3 carry 10; the computed energies are 11, 21, 21 and
// 22. The exchange holds every spin up through the whole loop.
TEST_F(EbsimRunTest, MapsOfASmallLattice) {
  ASSERT_EQ(Run({"--seed-ms", "0", "--side", "3", "--maps"}), 0);
  const ordered_json expected = {
      {"side", 3},
      {"readouts",
       {{"surface_ratio", R(0.66666666666666667, "0.666")}, {"eb_shift", nullptr}, {"coercivity", nullptr},
        // The field after 302 steps of 0.02 carries their rounding; the window shows "3".
        {"vertical_shift", R(1, "1    ")}, {"magnetization", R(1, "1    ")},
        {"applied_field", R(3.000000000000004, "3    ")}, {"open_end", R(0, "0    ")}, {"plus_spins_at_hmin", R(1, "1    ")}, {"minus_spins_at_hmax", R(0, "0    ")},
        // No crossing: blank as E-B Shift and Coercivity are.
        {"h_down", nullptr}, {"h_up", nullptr}, {"loop_centre", nullptr}, {"loop_half_width", nullptr}}},
      {"steps", {{"descending", 151}, {"ascending", 151}}},
      {"maps",
       {{"exchange", {{10, 10, 10}, {1, 1, 1}, {10, 10, 10}}},
        {"initial_energy", {{11, 21, 11}, {21, 22, 21}, {11, 21, 11}}},
        {"random_field",
         {{-2.394922421309785, -0.972247740546835, -2.394922421309785},
          {-3.816864704545104, -1.6814197359726708, -3.816864704545104},
          {-2.394922421309785, -0.972247740546835, -2.394922421309785}}}}}};
  EXPECT_EQ(Result(), expected);
}

// The window's defaults seeded at 0 ms; the window test expects the same
// read-outs on screen.
TEST_F(EbsimRunTest, DefaultRun) {
  ASSERT_EQ(Run({"--seed-ms", "0"}), 0);
  const ordered_json readouts = Result().at("readouts");
  const struct {
    const char* id;
    const char* shown;
    const char* value;  // the read-out's number as the window's text
  } expected[] = {{"surface_ratio", "0.055", "0.055"},   {"eb_shift", "-0.44", "-0.44"},
                  {"coercivity", "2.360", "2.36000000000001"}, {"vertical_shift", "0.142", "0.1425"},
                  {"magnetization", "0.87 ", "0.87"},    {"applied_field", "3    ", "3"},
                  {"open_end", "0.13 ", "0.13"},         {"plus_spins_at_hmin", "0.177", "0.1775"},
                  {"minus_spins_at_hmax", "0.065", "0.065"}};
  for (const auto& e : expected) {
    EXPECT_EQ(readouts.at(e.id).at("shown"), e.shown) << e.id;
    EXPECT_EQ(PointText(readouts.at(e.id).at("value").get<double>()), e.value) << e.id;
  }
}

// With "," as separator the inputs are read with it and the read-outs
// shown with it; the values stay in "." notation.
TEST_F(EbsimRunTest, CommaSeparator) {
  ASSERT_EQ(Run({"--seed-ms", "5", "--sep", ",", "--side", "4", "--steps", "20", "--hmin", "-2,5"}), 0);
  const ordered_json readouts = Result().at("readouts");
  EXPECT_EQ(readouts.at("eb_shift"), R(1.2125, "1,212"));
  EXPECT_EQ(readouts.at("coercivity"), R(3.575, "3,575"));
  EXPECT_EQ(readouts.at("vertical_shift"), nullptr);
  EXPECT_EQ(readouts.at("applied_field"), R(3.55, "3,55 "));
  EXPECT_EQ(readouts.at("minus_spins_at_hmax"), R(0.3125, "0,312"));
  EXPECT_EQ(ordered_json::parse(out.str()).at("separator"), ",");
  // "." is then no separator.
  EXPECT_EQ(Run({"--seed-ms", "5", "--sep", ",", "--hmin", "-2.5"}), 1);
  EXPECT_EQ(Result(), (ordered_json{{"error", "'-2.5' is not a valid floating point value."}, {"stage", "run"}}));
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
    EXPECT_EQ(Result(), (ordered_json{{"error", c.error}, {"stage", c.stage}}));
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
  EXPECT_NE(withEquals.find("\"coercivity\":{\"value\":7.5,"), std::string::npos);
}

}  // namespace
