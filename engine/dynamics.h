#pragma once
// What a dynamics rule gives the Run: the spins of a side-n lattice relaxed
// at one applied field after another, each on its branch of the sweep. The
// pass at a time (ParallelRelaxation) is one; another rule is another type
// with these members, and the Run, its measurements and its display take it
// as they take the pass.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/branch.h"

namespace ebsim {

template <class D>
concept Dynamics = requires(D& d, const D& c, double H, Branch branch, int i, std::int8_t spin) {
  // The start of a Run at its first field: every site's local fields from
  // the spins as they stand, nothing reversed.
  d.InitLocalFields(H);
  // The spins relaxed at field H on the branch. An error (an overflow)
  // raises where it arises and leaves the spins as they stood then.
  d.Relax(H, branch);
  // The sum of the spins, after the latest relaxation.
  { c.SpinSum() } -> std::convertible_to<std::int64_t>;
  { c.Side() } -> std::convertible_to<int>;
  // Row i's n spins (-1, 0 or +1) from column 1, rows 1..n.
  { c.SpinRow(i) } -> std::convertible_to<const std::int8_t*>;
  // Whether some spin of row i changed in the latest relaxation.
  { c.RowChanged(i) } -> std::convertible_to<bool>;
  // How many spins the latest relaxation reversed (0 after
  // InitLocalFields).
  { c.Flips() } -> std::convertible_to<std::int64_t>;
  // How many sites, in row-major order, the latest relaxation had done
  // with: all n x n unless it raised. Those before hold their new spins; no
  // later one changed.
  { c.SitesDone() } -> std::convertible_to<std::size_t>;
  // Every spin set to spin, as a Run leaves them.
  d.ResetSpins(spin);
};

// The spins row by row, site (i, j) at (i - 1) * n + (j - 1).
template <Dynamics D>
std::vector<std::int8_t> SpinsOf(const D& d) {
  const std::size_t n = static_cast<std::size_t>(d.Side());
  std::vector<std::int8_t> spins(n * n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::int8_t* row = d.SpinRow(static_cast<int>(i) + 1);
    for (std::size_t j = 0; j < n; ++j) spins[i * n + j] = row[j];
  }
  return spins;
}

// How many spins equal value.
template <Dynamics D>
std::int64_t CountSpins(const D& d, std::int8_t value) {
  std::int64_t count = 0;
  for (int i = 1; i <= d.Side(); ++i) {
    const std::int8_t* row = d.SpinRow(i);
    for (int j = 0; j < d.Side(); ++j) count += row[j] == value;
  }
  return count;
}

}  // namespace ebsim
