#include "engine/checked_sums.h"

#include <cfloat>
#include <cmath>

#include "base/errors.h"
#include "engine/site_field.h"

namespace ebsim {

bool FieldsMayOverflow(const CompactLattice& lattice, double H) {
  return lattice.SumsMayOverflow() ||
         lattice.LargestSum() + lattice.LargestRandomField() + std::fabs(static_cast<long double>(H)) > DBL_MAX / 2;
}

double CheckedField(const CompactLattice& lattice, const EdgeRule& rule, const std::int8_t* spins, int i, int j) {
  const double field = SiteField<long double>(lattice, rule, spins, spins, i, j);
  if (std::isinf(field)) throw EOverflow();
  return field;
}

void CheckSumsAround(const CompactLattice& lattice, const EdgeRule& rule, int i, int j, const std::int8_t* spins) {
  if (rule.Kind() != Boundary::EdgeCopy) {
    rule.ForDependents(i, j, [&](Cell c) { CheckedField(lattice, rule, spins, c.i, c.j); });
    return;
  }
  const int n = rule.Side();
  const int last = n > 1 ? n - 1 : 1;
  const int neighbours[4][2] = {{i, j - 1}, {i, j + 1}, {i - 1, j}, {i + 1, j}};
  for (const auto& c : neighbours) {
    if (c[0] < 1 || c[1] < 1 || c[0] > last || c[1] > last || n == 1) continue;
    CheckedField(lattice, rule, spins, c[0], c[1]);
  }
}

}  // namespace ebsim
