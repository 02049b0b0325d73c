#pragma once
// The benchmarks' lattice beyond the set-up runs' largest side.

#include <random>
#include <vector>

#include "engine/compact_lattice.h"

namespace ebsim {

// A lattice like the set-up runs' beyond their largest side, drawn row by
// row: constant 10 with probability 0.04, else 1; Gaussian random fields of
// deviation 2; row n and column n copies of row 1 and column 1.
inline CompactLattice DrawnLattice(int n) {
  std::mt19937_64 rng(20240611);
  std::bernoulli_distribution enhanced(0.04);
  std::normal_distribution<double> gauss(0.0, 2.0);
  CompactLattice lattice(n);
  std::vector<double> J(static_cast<std::size_t>(n)), q(J.size()), firstJ, firstQ;
  for (int i = 1; i <= n; ++i) {
    if (i == n && n > 1) {
      lattice.AppendRow(firstJ.data(), firstQ.data());
      break;
    }
    for (std::size_t j = 0; j + 1 < J.size() || n == 1; ++j) {
      J[j] = enhanced(rng) ? 10.0 : 1.0;
      q[j] = gauss(rng);
      if (n == 1) break;
    }
    if (n > 1) J.back() = J.front(), q.back() = q.front();
    if (i == 1) firstJ = J, firstQ = q;
    lattice.AppendRow(J.data(), q.data());
  }
  return lattice;
}

}  // namespace ebsim
