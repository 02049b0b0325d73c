// What a sweep writes: the runs CSV, one row per realisation, and the
// summary CSV with each read-out's statistics over the realisations that
// wrote it.

#include "batch/sweep_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "form/field_numbers.h"

using namespace ebsim;

namespace {

const char* const kGridHeader = "side,dilution,enhancement,field_sd,h0,hmin,steps,";

// The seven axes of a sweep, with the dilution taking the values given.
SweepGrid GridOverDilution(std::vector<std::string> dilutions) {
  return SweepGrid({{"side", Input::Side, {"20"}},
                    {"dilution", Input::Dilution, std::move(dilutions)},
                    {"enhancement", Input::Enhancement, {"10"}},
                    {"sd", Input::FieldSd, {"2"}},
                    {"h0", Input::H0, {"3"}},
                    {"hmin", Input::Hmin, {"-3"}},
                    {"steps", Input::Steps, {"300"}}});
}

SweepRow Row(std::size_t point, std::uint64_t r, std::uint32_t seed) {
  SweepRow row;
  row.point = point;
  row.realization = r;
  row.seedMs = seed;
  row.descendingSteps = 151;
  row.ascendingSteps = 151;
  return row;
}

void Set(SweepRow& row, Quantity field, long double value) { row.readouts[static_cast<std::size_t>(field)] = value; }

TEST(CsvFieldTest, QuotesOnlyWhatMustBe) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"0.04", "0.04"},
      {"'abc' is not a valid floating point value.", "'abc' is not a valid floating point value."},
      {"0,04", "\"0,04\""},
      {"say \"no\"", "\"say \"\"no\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"return\r", "\"return\r\""},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

struct StatisticsCase {
  std::vector<long double> values;
  long double mean;
  std::optional<long double> sd, se;
};

TEST(ReadoutStatisticsTest, MeanSampleDeviationAndStandardError) {
  const StatisticsCase cases[] = {
      // mean 7/3; squared deviations 16/9 + 1/9 + 25/9 = 14/3 over n - 1 = 2.
      {{1, 2, 4}, 7.0L / 3, std::sqrt(7.0L / 3), std::sqrt(7.0L) / 3},
      {{-1, 1}, 0, std::sqrt(2.0L), 1},
      {{2.5, 2.5, 2.5}, 2.5, 0, 0},
      {{5}, 5, std::nullopt, std::nullopt},
      {{}, 0, std::nullopt, std::nullopt},
  };
  for (const StatisticsCase& c : cases) {
    ReadoutStatistics s;
    for (long double x : c.values) s.Add(x);
    EXPECT_EQ(s.count, c.values.size());
    EXPECT_NEAR(static_cast<double>(s.mean), static_cast<double>(c.mean), 1e-15);
    ASSERT_EQ(s.StandardDeviation().has_value(), c.sd.has_value()) << c.values.size();
    ASSERT_EQ(s.StandardError().has_value(), c.se.has_value());
    if (c.sd) {
      EXPECT_NEAR(static_cast<double>(*s.StandardDeviation()), static_cast<double>(*c.sd), 1e-15);
      EXPECT_NEAR(static_cast<double>(*s.StandardError()), static_cast<double>(*c.se), 1e-15);
    }
  }
}

TEST(RunsCsvTest, HeaderNamesTheGridTheRealisationEveryReadoutAndTheSteps) {
  std::ostringstream out;
  WriteRunsHeader(out, GridOverDilution({"0.04"}));
  EXPECT_EQ(out.str(), std::string(kGridHeader) +
                           "point,realization,seed_ms,surface_ratio,eb_shift,coercivity,vertical_shift,"
                           "magnetization,applied_field,open_end,plus_spins_at_hmin,minus_spins_at_hmax,"
                           "h_down,h_up,loop_centre,loop_half_width,steps_descending,steps_ascending,error\n");
}

TEST(RunsCsvTest, RowsLeaveUnwrittenReadoutsEmptyAndCarryTheError) {
  const SweepGrid grid = GridOverDilution({"0", "0.1"});
  SweepRow written = Row(1, 2, 20396894);
  Set(written, Quantity::SurfaceRatio, 0.0425L);
  Set(written, Quantity::Coercivity, 2.44L);
  Set(written, Quantity::Magnetization, -1);
  written.readouts[kQuantityCount + 1] = -1.74;  // h_up
  SweepRow failed = Row(0, 1, 53398447);
  failed.descendingSteps = 0;
  failed.ascendingSteps = 0;
  failed.error = "Floating point overflow, near \"H\"";
  std::ostringstream out;
  WriteRunsRow(out, grid, written);
  WriteRunsRow(out, grid, failed);
  // Read-outs as the shortest texts of their doubles.
  EXPECT_EQ(out.str(),
            "20,0.1,10,2,3,-3,300,1,2,20396894,0.0425,,2.44,,-1,,,,,,-1.74,,,151,151,\n"
            "20,0,10,2,3,-3,300,0,1,53398447,,,,,,,,,,,,,,0,0,\"Floating point overflow, near \"\"H\"\"\"\n");
  // Read back exactly, which merging and resuming rely on.
  for (const SweepRow& row : {written, failed}) {
    std::ostringstream line;
    WriteRunsRow(line, grid, row);
    std::uint64_t cycle = 1;
    const SweepRow back = ReadRunsRow(line.str().substr(0, line.str().size() - 1), grid, 3, cycle);
    EXPECT_EQ(cycle, 0u);
    EXPECT_EQ(back.index, row.point * 3 + row.realization);
    EXPECT_EQ(back.readouts, row.readouts);
    EXPECT_EQ(back.error, row.error);
    EXPECT_EQ(back.seedMs, row.seedMs);
  }
  for (const char* bad :
       {"20,0.1,10,2,3,-3,300,2,0,1,,,,,,,,,,,,,,151,151,", "20,0.1,10,2,3,-3,300,0,3,1,,,,,,,,,,,,,,151,151,",
        "20,0.1,10,2,3,-3,300,1,0,1,,,,,,,,,,,,,x,151,151,", "20,0.1,10"})
  {
    std::uint64_t cycle = 0;
    EXPECT_THROW(ReadRunsRow(bad, grid, 3, cycle), std::invalid_argument) << bad;
  }
}

TEST(RunsCsvTest, GridTextsWithTheDecimalCommaAreQuoted) {
  const SweepGrid grid = GridOverDilution({"0,1"});
  std::ostringstream out;
  WriteRunsRow(out, grid, Row(0, 0, 7));
  EXPECT_EQ(out.str(), "20,\"0,1\",10,2,3,-3,300,0,0,7,,,,,,,,,,,,,,151,151,\n");
}

TEST(SweepSummaryTest, StatisticsOverEveryValueTheRunsTableHolds) {
  const SweepGrid grid = GridOverDilution({"0", "0.1", "0.2"});
  std::ostringstream out;
  SweepSummary summary(grid, out);
  // Grid point 0: five realisations, one failed; the E-B Shift is left
  // blank by one (no crossing on the ascending branch).
  std::vector<SweepRow> rows;
  for (std::uint64_t r = 0; r < 5; ++r) rows.push_back(Row(0, r, static_cast<std::uint32_t>(r)));
  const std::optional<long double> shifts[] = {1, std::nullopt, 2, 99, 4};
  for (std::size_t r = 0; r < 5; ++r) {
    if (shifts[r]) Set(rows[r], Quantity::EbShift, *shifts[r]);
    Set(rows[r], Quantity::Coercivity, 1);
  }
  Set(rows[0], Quantity::SurfaceRatio, 0.5L);
  // A failed row counts as failed, and its values count as the runs table shows them.
  rows[3].error = "Floating point overflow";
  // Grid point 1: one realisation; grid point 2: none (a stopped sweep).
  rows.push_back(Row(1, 0, 0));
  Set(rows.back(), Quantity::EbShift, 3);
  for (const SweepRow& row : rows) summary.Add(row);
  summary.Finish();

  const std::string unwritten = ",,,,0";
  std::string expected = std::string(kGridHeader) + "point,realizations,failed";
  for (const char* id : {"surface_ratio", "eb_shift", "coercivity", "vertical_shift", "magnetization", "applied_field",
                         "open_end", "plus_spins_at_hmin", "minus_spins_at_hmax", "h_down", "h_up", "loop_centre",
                         "loop_half_width"})
    for (const char* what : {"_mean", "_sd", "_se", "_n"}) expected += std::string(",") + id + what;
  expected += "\n";
  expected += "20,0,10,2,3,-3,300,0,5,1,0.5,,,1,26.5,48.34942260944454,24.17471130472227,4,1,0,0,5";
  for (int k = 0; k < 10; ++k) expected += unwritten;
  expected += "\n20,0.1,10,2,3,-3,300,1,1,0" + unwritten + ",3,,,1";
  for (int k = 0; k < 11; ++k) expected += unwritten;
  expected += "\n";
  EXPECT_EQ(out.str(), expected);
}

}  // namespace
