#pragma once
// The relaxation done the slow, literal way: after every single site visit
// the whole NeighbourFieldMap is recomputed over the block by the edge-copy
// rule. Its cost grows as N^4 per pass, which is why the program evaluates
// only the visited cell; this version is the yardstick the tests compare
// that engine with, and the benchmarks measure it against.

#include <cmath>
#include <cstdint>
#include <memory>

#include "base/errors.h"
#include "model/lattice_state.h"
#include "engine/branch.h"

namespace ebsim {

class ReferenceRelaxation {
 public:
  ReferenceRelaxation(LatticeState& lattice, int n) : s_(lattice), n_(n) {
    for (int i = 1; i <= n_; ++i)
      for (int j = 1; j <= n_; ++j) (*visited_)(i, j) = s_.NeighbourFieldMap(i, j);
  }

  // NeighbourFieldMap[i][j] as it stood right after the latest visit of
  // (i, j) (the initial pass counting as one), or as it was found.
  const SiteMap& VisitedNeighbourField() const { return *visited_; }

  // The sum of J(n) S(n) for a computed cell, in extended precision, in
  // the order: (1, 1) right, lower; row 1 right, lower, left; column 1
  // right, lower, upper; elsewhere left, right, upper, lower. A side of 1
  // has no neighbour in the block.
  double ComputedCell(int i, int j) const {
    if (n_ == 1) return 0.0;
    auto term = [&](int a, int b) -> long double {
      return static_cast<long double>(s_.ExchangeMap(a, b)) * s_.SpinMap(a, b);
    };
    long double sum;
    if (i == 1 && j == 1)
      sum = term(1, 2) + term(2, 1);
    else if (i == 1)
      sum = term(1, j + 1) + term(2, j) + term(1, j - 1);
    else if (j == 1)
      sum = term(i, 2) + term(i + 1, 1) + term(i - 1, 1);
    else
      sum = term(i, j - 1) + term(i, j + 1) + term(i - 1, j) + term(i + 1, j);
    const double stored = static_cast<double>(sum);
    if (std::isinf(stored)) throw EOverflow();
    return stored;
  }

  // Cell (i, j) of the neighbour field by the nine edge-copy rules, the
  // copies taken from cells filled earlier in row-major order.
  void FillCell(int i, int j) {
    SiteMap& F = s_.NeighbourFieldMap;
    const int n = n_;
    if (i == 1 && j == 1)
      F(i, j) = ComputedCell(1, 1);
    else if (i == n && j == 1)
      F(i, j) = F(1, 1);
    else if (i == n && j == n)
      F(i, j) = F(1, 1);
    else if (i == 1 && j == n)
      F(i, j) = F(1, 1);
    else if (i == 1)
      F(i, j) = ComputedCell(1, j);
    else if (i == n)
      F(i, j) = F(1, j);
    else if (j == 1)
      F(i, j) = ComputedCell(i, 1);
    else if (j == n)
      F(i, j) = F(i, 1);
    else
      F(i, j) = ComputedCell(i, j);
  }

  void ComputeNeighbourField() {
    for (int i = 1; i <= n_; ++i)
      for (int j = 1; j <= n_; ++j) FillCell(i, j);
  }

  static double LocalField(double neighbour, double random, double H) {
    const double local = static_cast<double>((static_cast<long double>(neighbour) + random) + H);
    if (std::isinf(local)) throw EOverflow();
    return local;
  }

  void InitLocalFields(double H) {
    for (int i = 1; i <= n_; ++i) {
      for (int j = 1; j <= n_; ++j) {
        FillCell(i, j);
        (*visited_)(i, j) = s_.NeighbourFieldMap(i, j);
        const double local = LocalField(s_.NeighbourFieldMap(i, j), s_.QrfMap(i, j), H);
        s_.PrevLocalFieldMap(i, j) = local;
        s_.LocalFieldMap(i, j) = local;
      }
    }
  }

  void Relax(double H, Branch branch) {
    for (int i = 1; i <= n_; ++i) {
      for (int j = 1; j <= n_; ++j) {
        const long double product = static_cast<long double>(s_.PrevLocalFieldMap(i, j)) * s_.LocalFieldMap(i, j);
        const bool reverse = branch == Branch::Descending ? product < 0 : product <= 0;
        if (reverse) s_.SpinMap(i, j) = -s_.SpinMap(i, j);
        s_.PrevLocalFieldMap(i, j) = s_.LocalFieldMap(i, j);
        ComputeNeighbourField();
        (*visited_)(i, j) = s_.NeighbourFieldMap(i, j);
        s_.LocalFieldMap(i, j) = LocalField(s_.NeighbourFieldMap(i, j), s_.QrfMap(i, j), H);
      }
    }
  }

  // The block's spins summed in row-major order, stored after every
  // addition.
  double SpinTotal() const {
    double sum = 0;
    for (int i = 1; i <= n_; ++i)
      for (int j = 1; j <= n_; ++j) sum = sum + s_.SpinMap(i, j);
    return sum;
  }

 private:
  LatticeState& s_;
  const int n_;
  std::unique_ptr<SiteMap> visited_ = std::make_unique<SiteMap>();
};

}  // namespace ebsim
