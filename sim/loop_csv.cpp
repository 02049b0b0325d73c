#include "sim/loop_csv.h"

#include <charconv>
#include <ostream>

namespace ebsim {

std::string FullPrecisionText(long double x) {
  const double d = static_cast<double>(x);
  if (static_cast<long double>(d) == x) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, result.ptr);
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, result.ptr);
}

void WriteLoopCsvHeader(std::ostream& out) { out << "branch,H,M\n"; }

void WriteLoopCsvRow(std::ostream& out, const LoopPoint& p) {
  out << (p.branch == Branch::Descending ? "down" : "up") << ',' << FullPrecisionText(p.H) << ','
      << FullPrecisionText(p.M) << '\n';
}

void WriteLoopCsv(std::ostream& out, const std::vector<LoopPoint>& loop) {
  WriteLoopCsvHeader(out);
  for (const LoopPoint& p : loop) WriteLoopCsvRow(out, p);
}

}  // namespace ebsim
