#include "run/loop_csv.h"

#include <ostream>

#include "base/round_trip_text.h"

namespace ebsim {

const char* BranchName(Branch branch) { return branch == Branch::Descending ? "down" : "up"; }

void WriteLoopCsvHeader(std::ostream& out, bool extended, bool sizes) {
  out << (extended ? "step,branch,H,M,flips,cycle" : "step,branch,H,M") << (sizes ? ",size\n" : "\n");
}

void WriteLoopCsvRow(std::ostream& out, std::uint64_t step, const LoopPoint& p, bool extended, bool sizes) {
  out << step << ',' << BranchName(p.branch) << ',' << ShortestText(p.H) << ',' << ShortestText(p.M);
  if (extended) out << ',' << p.flips << ',' << p.cycle;
  if (sizes) out << ',' << p.flips;
  out << '\n';
}

void WriteLoopCsv(std::ostream& out, const std::vector<LoopPoint>& loop, bool extended) {
  WriteLoopCsvHeader(out, extended);
  for (std::size_t k = 0; k < loop.size(); ++k) WriteLoopCsvRow(out, k, loop[k], extended);
}

}  // namespace ebsim
