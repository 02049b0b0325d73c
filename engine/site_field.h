#pragma once
// A site's neighbour field in a pass, by the edge rules, from the spins as
// they stand before the pass and after its reversals.

#include <cstddef>
#include <cstdint>

#include "engine/compact_lattice.h"

namespace ebsim {

// The terms of site (i, j)'s neighbour field: the neighbours of the cell it
// copies (row n copies row 1, column n copies column 1; a computed cell is
// its own) in summation order, and for each whether the pass has visited it
// by the time it visits (i, j), so that its spin is taken after its
// reversal. No term for a side of 1.
struct SiteTerms {
  int count = 0;
  std::size_t cell[4] = {};
  bool visited[4] = {};
};

inline SiteTerms TermsOf(int n, int i, int j) {
  SiteTerms t;
  if (n == 1) return t;
  const int si = i == n ? 1 : i, sj = j == n ? 1 : j;
  int cells[4][2];
  if (si == 1 && sj == 1) {  // right, lower
    cells[0][0] = 1, cells[0][1] = 2, cells[1][0] = 2, cells[1][1] = 1;
    t.count = 2;
  } else if (si == 1) {  // right, lower, left
    cells[0][0] = 1, cells[0][1] = sj + 1, cells[1][0] = 2, cells[1][1] = sj, cells[2][0] = 1, cells[2][1] = sj - 1;
    t.count = 3;
  } else if (sj == 1) {  // right, lower, upper
    cells[0][0] = si, cells[0][1] = 2, cells[1][0] = si + 1, cells[1][1] = 1, cells[2][0] = si - 1, cells[2][1] = 1;
    t.count = 3;
  } else {  // left, right, upper, lower
    cells[0][0] = si, cells[0][1] = sj - 1, cells[1][0] = si, cells[1][1] = sj + 1;
    cells[2][0] = si - 1, cells[2][1] = sj, cells[3][0] = si + 1, cells[3][1] = sj;
    t.count = 4;
  }
  const auto position = [n](int a, int b) { return static_cast<std::size_t>(a - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(b - 1); };
  for (int k = 0; k < t.count; ++k) {
    t.cell[k] = position(cells[k][0], cells[k][1]);
    t.visited[k] = t.cell[k] <= position(i, j);
  }
  return t;
}

// The neighbour field of site (i, j), summed in Sum (long double, or double
// where every sum is exact in double), stored as a double. before: the
// spins as the pass found them; after: as its reversals leave them.
template <class Sum>
inline double SiteField(const CompactLattice& lattice, const std::int8_t* before, const std::int8_t* after, int i,
                        int j) {
  const SiteTerms t = TermsOf(lattice.Side(), i, j);
  if (t.count == 0) return 0.0;
  auto term = [&](int k) -> Sum {
    const std::int8_t spin = (t.visited[k] ? after : before)[t.cell[k]];
    return static_cast<Sum>(lattice.Exchange(t.cell[k])) * static_cast<double>(spin);
  };
  Sum sum = term(0);
  for (int k = 1; k < t.count; ++k) sum = sum + term(k);
  return static_cast<double>(sum);
}

}  // namespace ebsim
