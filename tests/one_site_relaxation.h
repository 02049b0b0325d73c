#pragma once
// The relaxation one site at a time, on plain arrays of any side, written
// from the rules for the tests to hold the engines against: a pass visits
// the sites in row-major order; each visit reverses the spin when its two
// latest local fields call for it (the flip rule), then evaluates its
// neighbour field from the spins as they stand at that moment (for a site
// of row n or column n, that of the cell it copies) and its new local
// field. Every sum is formed in extended precision and stored as a double;
// a sum or local field that leaves the double range is an overflow, raised
// at the visit where it arises. Unlike the literal reference
// (tests/reference_relaxation.h), whose cost grows as n^4 a pass, it
// evaluates only the visited cell, so it serves sides of a thousand.

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "base/errors.h"
#include "engine/branch.h"
#include "engine/flip_rule.h"

namespace ebsim {

class OneSiteRelaxation {
 public:
  // J, q, S: n x n row by row; each spin +1, -1 or 0.
  OneSiteRelaxation(int n, std::vector<double> J, std::vector<double> q, std::vector<double> S)
      : n_(n), J_(std::move(J)), q_(std::move(q)), S_(std::move(S)) {
    const std::size_t sites = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    if (n < 1 || J_.size() != sites || q_.size() != sites || S_.size() != sites)
      throw std::invalid_argument("the arrays must hold n x n sites");
    neighbour_.assign(sites, 0.0);
    previous_.assign(sites, 0.0);
    latest_.assign(sites, 0.0);
    long double largest = 0;
    for (const double j : J_) largest = std::fmax(largest, std::fabs(static_cast<long double>(j)));
    sumsMayOverflow_ = 4 * largest > DBL_MAX;
  }

  void InitLocalFields(double H) {
    for (int i = 1; i <= n_; ++i)
      for (int j = 1; j <= n_; ++j) previous_[At(i, j)] = latest_[At(i, j)] = Evaluate(i, j, H);
    sitesDone_ = At(n_, n_) + 1;
  }

  void Relax(double H, Branch branch) {
    flips_ = 0;
    for (int i = 1; i <= n_; ++i) {
      for (int j = 1; j <= n_; ++j) {
        const std::size_t s = At(i, j);
        sitesDone_ = s;
        const bool reverses = Reverses(branch, SignOf(previous_[s]), SignOf(latest_[s]));
        previous_[s] = latest_[s];
        if (reverses) {
          flips_ += S_[s] != 0;
          S_[s] = -S_[s];
          if (sumsMayOverflow_) CheckSumsAround(i, j);
        }
        latest_[s] = Evaluate(i, j, H);
      }
    }
    sitesDone_ = At(n_, n_) + 1;
  }

  int Side() const { return n_; }
  double Spin(int i, int j) const { return S_[At(i, j)]; }
  std::vector<int> Spins() const { return {S_.begin(), S_.end()}; }
  std::int64_t SpinSum() const {
    std::int64_t sum = 0;
    for (const double s : S_) sum += static_cast<std::int64_t>(s);
    return sum;
  }
  // The sites, in row-major order, whose visit the latest pass finished:
  // all unless it raised.
  std::size_t SitesDone() const { return sitesDone_; }
  // The spins the latest pass reversed.
  std::int64_t Flips() const { return flips_; }

  // Site (i, j)'s neighbour field and local fields as its latest visit left
  // them.
  double NeighbourField(int i, int j) const { return neighbour_[At(i, j)]; }
  double PreviousField(int i, int j) const { return previous_[At(i, j)]; }
  double LatestField(int i, int j) const { return latest_[At(i, j)]; }

 private:
  std::size_t At(int i, int j) const {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(j - 1);
  }
  long double Term(int i, int j) const { return static_cast<long double>(J_[At(i, j)]) * S_[At(i, j)]; }

  // The sum of computed cell (a, b): (1, 1) right, lower; row 1 right,
  // lower, left; column 1 right, lower, upper; elsewhere left, right,
  // upper, lower. A side of 1 has no neighbour.
  double ComputedSum(int a, int b) const {
    if (n_ == 1) return 0.0;
    long double sum;
    if (a == 1 && b == 1)
      sum = Term(1, 2) + Term(2, 1);
    else if (a == 1)
      sum = Term(1, b + 1) + Term(2, b) + Term(1, b - 1);
    else if (b == 1)
      sum = Term(a, 2) + Term(a + 1, 1) + Term(a - 1, 1);
    else
      sum = Term(a, b - 1) + Term(a, b + 1) + Term(a - 1, b) + Term(a + 1, b);
    const double stored = static_cast<double>(sum);
    if (std::isinf(stored)) throw EOverflow();
    return stored;
  }

  // Site (i, j)'s neighbour field, kept, and its local field.
  double Evaluate(int i, int j, double H) {
    const double field = ComputedSum(i == n_ ? 1 : i, j == n_ ? 1 : j);
    neighbour_[At(i, j)] = field;
    const double local = static_cast<double>((static_cast<long double>(field) + q_[At(i, j)]) + H);
    if (std::isinf(local)) throw EOverflow();
    return local;
  }

  // After site (i, j) reversed: every computed cell whose sum takes its
  // spin must still hold that sum as a double.
  void CheckSumsAround(int i, int j) const {
    const int last = n_ > 1 ? n_ - 1 : 1;
    const int cells[4][2] = {{i, j - 1}, {i, j + 1}, {i - 1, j}, {i + 1, j}};
    for (const auto& c : cells)
      if (n_ > 1 && c[0] >= 1 && c[1] >= 1 && c[0] <= last && c[1] <= last) (void)ComputedSum(c[0], c[1]);
  }

  int n_;
  std::vector<double> J_, q_, S_;
  std::vector<double> neighbour_, previous_, latest_;
  bool sumsMayOverflow_ = false;
  std::size_t sitesDone_ = 0;
  std::int64_t flips_ = 0;
};

}  // namespace ebsim
