// The loop tables of a sweep: every realisation's loop, and the loop
// averaged over the realisations of each grid point.

#include "batch/loop_tables.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace ebsim;

namespace {

SweepRow LoopRow(std::size_t point, std::uint64_t r, std::vector<double> M) {
  SweepRow row;
  row.point = point;
  row.realization = r;
  const double H[] = {1, -1, 1};
  for (std::size_t k = 0; k < M.size(); ++k) row.loop.push_back({k < 2 ? Branch::Descending : Branch::Ascending, H[k], M[k]});
  return row;
}

// Point 0: loops (1, -1, 1), (1, 0, 1) and (0.5, 0.5, -1) and a failed
// realisation that adds nothing. Step 0: M 1, 1, 0.5: mean 5/6, sample sd
// sqrt(1/12) = 0.28867513459481287, se sd / sqrt(3) = 1/6. Step 1: -1, 0,
// 0.5: mean -1/6, sd sqrt(7/12) = 0.7637626158259734, se sqrt(7/36). Step 2:
// 1, 1, -1: mean 1/3, sd sqrt(4/3), se 2/3. Point 1: one loop, no spread.
TEST(LoopMeansTest, MeanSpreadAndStandardErrorPerStepAndPoint) {
  const SweepGrid grid({{"side", Input::Side, {"4"}}, {"dilution", Input::Dilution, {"0", "0.5"}}});
  std::ostringstream out;
  LoopMeans means(grid, out);
  SweepRow failed = LoopRow(0, 3, {});
  failed.error = "Floating point overflow";
  for (const SweepRow& row : {LoopRow(0, 0, {1, -1, 1}), LoopRow(0, 1, {1, 0, 1}), LoopRow(0, 2, {0.5, 0.5, -1}),
                              failed, LoopRow(1, 0, {1, 1, 1})})
    means.Add(row);
  means.Finish();
  EXPECT_EQ(out.str(),
            "side,dilution,point,step,branch,H,M_mean,M_sd,M_se,n\n"
            "4,0,0,0,down,1,0.8333333333333334,0.28867513459481287,0.16666666666666666,3\n"
            "4,0,0,1,down,-1,-0.16666666666666666,0.7637626158259734,0.44095855184409843,3\n"
            "4,0,0,2,up,1,0.3333333333333333,1.1547005383792515,0.6666666666666666,3\n"
            "4,0.5,1,0,down,1,1,,,1\n"
            "4,0.5,1,1,down,-1,1,,,1\n"
            "4,0.5,1,2,up,1,1,,,1\n");
  EXPECT_EQ(means.LinesWritten(), 6u);

  // Loops of unequal length: a step counts only the realisations that
  // reached it.
  std::ostringstream uneven;
  LoopMeans short_(grid, uneven);
  for (const SweepRow& row : {LoopRow(1, 0, {1, 1, 1}), LoopRow(1, 1, {0}), LoopRow(1, 2, {0.5, -1})}) short_.Add(row);
  short_.Finish();
  EXPECT_EQ(uneven.str(),
            "side,dilution,point,step,branch,H,M_mean,M_sd,M_se,n\n"
            "4,0.5,1,0,down,1,0.5,0.5,0.28867513459481287,3\n"
            "4,0.5,1,1,down,-1,0,1.4142135623730951,1,2\n"
            "4,0.5,1,2,up,1,1,,,1\n");

  std::ostringstream loops;
  WriteLoopsHeader(loops);
  EXPECT_EQ(WriteLoopsRows(loops, LoopRow(1, 7, {1, -0.25})), 2u);
  EXPECT_EQ(loops.str(), "point,realization,step,branch,H,M\n1,7,0,down,1,1\n1,7,1,down,-1,-0.25\n");
}

}  // namespace
