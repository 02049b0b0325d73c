#include "run/shown_spins.h"

#include <algorithm>

#include "form/panel_geometry.h"
#include "form/run_display.h"

namespace ebsim {

void ShownSpins::Copy(int i, const std::int8_t* spins) {
  double* row = lattice_.SpinMap.Row(i);
  for (int j = 1; j <= kept_; ++j) row[j] = spins[j - 1];
}

void ShownSpins::Draw(int n, std::size_t sitesDone) {
  const int shown = std::min({n, kept_, kShownSide});
  for (int i = 1; i <= shown; ++i)
    for (int j = 1; j <= shown; ++j) {
      if ((static_cast<std::size_t>(i) - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j) - 1 >= sitesDone)
        return;
      DrawSpinSquare(*surface_, lattice_, i, j);
    }
}

}  // namespace ebsim
