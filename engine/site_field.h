#pragma once
// A site's neighbour field in a pass, by the lattice's edge rule, from the spins as
// they stand before the pass and after its reversals.

#include <cstddef>
#include <cstdint>

#include "engine/compact_lattice.h"
#include "engine/edge_rule.h"

namespace ebsim {

// The terms of site (i, j)'s neighbour field: the neighbours the edge rule
// gives it (those of the cell it repeats) in summation order, and for each
// whether the pass has visited it by the time it visits (i, j), so that its
// spin is taken after its reversal.
struct SiteTerms {
  int count = 0;
  std::size_t cell[4] = {};
  bool visited[4] = {};
};

inline SiteTerms TermsOf(const EdgeRule& rule, int i, int j) {
  SiteTerms t;
  const int n = rule.Side();
  const auto position = [n](Cell c) {
    return static_cast<std::size_t>(c.i - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(c.j - 1);
  };
  const std::size_t own = position({i, j});
  rule.ForNeighbours(i, j, [&](Cell c) {
    t.cell[t.count] = position(c);
    t.visited[t.count] = t.cell[t.count] <= own;
    ++t.count;
  });
  return t;
}

// term(0) + term(1) + ... + term(count - 1), left to right in Sum, stored
// as a double; +0 for no term.
template <class Sum, class Term>
inline double SumInOrder(int count, Term&& term) {
  if (count == 0) return 0.0;
  Sum sum = term(0);
  for (int k = 1; k < count; ++k) sum = sum + term(k);
  return static_cast<double>(sum);
}

// The neighbour field of site (i, j), summed in Sum (long double, or double
// where every sum is exact in double), stored as a double. before: the
// spins as the pass found them; after: as its reversals leave them.
template <class Sum>
inline double SiteField(const CompactLattice& lattice, const EdgeRule& rule, const std::int8_t* before,
                        const std::int8_t* after, int i, int j) {
  const SiteTerms t = TermsOf(rule, i, j);
  return SumInOrder<Sum>(t.count, [&](int k) -> Sum {
    const std::int8_t spin = (t.visited[k] ? after : before)[t.cell[k]];
    return static_cast<Sum>(lattice.Exchange(t.cell[k])) * static_cast<double>(spin);
  });
}

}  // namespace ebsim
