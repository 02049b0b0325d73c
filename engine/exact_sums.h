#pragma once
// Whether every neighbour sum of a lattice is exact in double precision.

#include <climits>

namespace ebsim {

// Fed the exchange constants one at a time, tells whether sums of up to
// four of them, each times +1, -1 or 0, are all exact in double precision:
// every constant a multiple of 2^low and every sum below 2^(low + 53).
// Then forming such a sum in double gives the extended sum's stored value,
// in any order of the terms.
class ExactSumCheck {
 public:
  void Add(double J);
  bool Exact() const { return finite_ && (low_ == INT_MAX || (high_ + 2) - low_ <= 53); }

 private:
  int low_ = INT_MAX;
  int high_ = INT_MIN;
  bool finite_ = true;
};

}  // namespace ebsim
