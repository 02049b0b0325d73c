#include "model/lattice_state.h"

#include <algorithm>

namespace ebsim {

void SiteMap::FillBlock(int n, double v) {
  for (int i = 1; i <= n; ++i) std::fill(Row(i) + 1, Row(i) + n + 1, v);
}

}  // namespace ebsim
