// The passes of a lattice where some local field or neighbour sum could
// leave the double range: site by site in row-major order on the spins as
// they stand, in extended precision, each overflow raised at the visit where
// it arises.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/errors.h"
#include "engine/checked_sums.h"
#include "engine/flip_rule.h"
#include "engine/local_field.h"
#include "engine/parallel_relaxation.h"
#include "engine/site_field.h"

namespace ebsim {

void ParallelRelaxation::CheckedInit(double H) {
  const std::int8_t* spins = spins_[current_].data();
  for (int i = 1; i <= n_; ++i) {
    for (int j = 1; j <= n_; ++j) {
      const std::size_t s = lattice_.Index(i, j);
      previousSign_[s] = SignOf(LocalField(CheckedField(lattice_, rule_, spins, i, j), lattice_.RandomField(s), H));
    }
  }
}

// The new spins are formed in place in the next state, which becomes the
// current one at once, so that an overflow leaves it as the visit found it.
template <Branch branch>
void ParallelRelaxation::CheckedPass(double H) {
  const int next = (current_ + 1) % 3;
  spins_[next] = spins_[current_];
  Advance(H);
  std::int8_t* spins = spins_[next].data();
  std::fill(rowChanged_.begin(), rowChanged_.end(), 0);
  flips_ = 0;
  for (int i = 1; i <= n_; ++i) {
    for (int j = 1; j <= n_; ++j) {
      const std::size_t s = lattice_.Index(i, j);
      sitesDone_ = s;
      if (Reverses<branch>(previousSign_[s], latestSign_[s])) {
        spinSum_ -= 2 * spins[s];
        if (spins[s] != 0) {
          rowChanged_[static_cast<std::size_t>(i - 1)] = 1;
          ++flips_;
        }
        spins[s] = static_cast<std::int8_t>(-spins[s]);
        if (lattice_.SumsMayOverflow()) CheckSumsAround(lattice_, rule_, i, j, spins);
      }
      previousSign_[s] = SignOf(LocalField(CheckedField(lattice_, rule_, spins, i, j), lattice_.RandomField(s), H));
    }
  }
  sitesDone_ = lattice_.Index(n_, n_) + 1;
  std::swap(previousSign_, latestSign_);
}

template void ParallelRelaxation::CheckedPass<Branch::Descending>(double);
template void ParallelRelaxation::CheckedPass<Branch::Ascending>(double);

}  // namespace ebsim
