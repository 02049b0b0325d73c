#include "run/large_lattice.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/available_memory.h"
#include "base/errors.h"
#include "base/float_checks.h"
#include "form/field_numbers.h"
#include "form/panel_geometry.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"

namespace ebsim {

namespace {

// The cell whose value cell (i, j) repeats: row n and column n copy row 1
// and column 1.
int Source(int n, int k) { return n > 1 && k == n ? 1 : k; }

// The set-up's poll, once a row: the observer may end the Run there.
void RowDone(SweepObserver* observer) {
  if (observer) observer->SetUpRowDone();
}

std::size_t Site(int n, int i, int j) {
  return (static_cast<std::size_t>(i) - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j) - 1;
}

// "Run LEE Constants": one uniform draw per computed cell in row-major
// order, copies for row n and column n; an enhanced site (draw below the
// dilution level) carries the enhancement constant, read again at each.
std::vector<std::uint8_t> EnhancedSites(const FormPort& port, const ModelParameters& parameters, int n,
                                        RandomNumbers& random, double& enhancement, SweepObserver* observer) {
  const double d = StoreDouble(parameters.Dilution());
  const std::size_t side = static_cast<std::size_t>(n);
  std::vector<std::uint8_t> enhanced(side * side);
  std::int64_t count = 0;
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const std::size_t at = (static_cast<std::size_t>(i) - 1) * side + static_cast<std::size_t>(j) - 1;
      const bool copied = n > 1 && (i == n || j == n);
      const std::size_t from =
          (static_cast<std::size_t>(Source(n, i)) - 1) * side + static_cast<std::size_t>(Source(n, j)) - 1;
      enhanced[at] = copied ? enhanced[from] : static_cast<double>(random.UniformRandom()) < d;
      if (!enhanced[at]) continue;
      enhancement = StoreDouble(parameters.Enhancement());
      ++count;
    }
    RowDone(observer);
  }
  ShowReadout(port, Quantity::SurfaceRatio, Divide(count, static_cast<long double>(n) * n));
  return enhanced;
}

// The initial exchange energy of computed cell (i, j), all spins +1, as the
// set-up stores it.
double EnergyAt(int n, const std::vector<std::uint8_t>& enhanced, double enhancement, int i, int j) {
  const std::size_t side = static_cast<std::size_t>(n);
  auto term = [&](int a, int b) -> long double {
    if (a > n || b > n) return 0;
    return enhanced[(static_cast<std::size_t>(a) - 1) * side + static_cast<std::size_t>(b) - 1] ? enhancement : 1.0;
  };
  if (i == 1 && j == 1) return StoreDouble(term(1, 2) + term(2, 1));
  if (i == 1) return StoreDouble(term(1, j + 1) + term(2, j) + term(1, j - 1));
  if (j == 1) return StoreDouble(term(i, 2) + term(i + 1, 1) + term(i - 1, 1));
  return StoreDouble(term(i, j - 1) + term(i, j + 1) + term(i - 1, j) + term(i + 1, j));
}

// The energies of all computed cells: only their failures matter here.
void CheckExchangeEnergies(int n, const std::vector<std::uint8_t>& enhanced, double enhancement,
                           SweepObserver* observer) {
  const int last = n > 1 ? n - 1 : 1;
  for (int i = 1; i <= last; ++i) {
    for (int j = 1; j <= last; ++j) (void)EnergyAt(n, enhanced, enhancement, i, j);
    RowDone(observer);
  }
}

// The shown squares of the exchange and energy panels, row by row as the
// set-up on the maps draws them.
void DrawExchangeSquares(DrawingSurface& surface, int n, const std::vector<std::uint8_t>& enhanced,
                         double enhancement) {
  const int shown = std::min(n, kShownSide);
  for (int i = 1; i <= shown; ++i)
    for (int j = 1; j <= shown; ++j) {
      surface.SetBrushColor(enhanced[Site(n, i, j)] ? clRed : clWhite);
      FillSiteSquare(surface, kExchangePanel, i, j);
    }
  for (int i = 1; i <= shown; ++i)
    for (int j = 1; j <= shown; ++j) {
      surface.SetBrushColor(EnergyColour(EnergyAt(n, enhanced, enhancement, Source(n, i), Source(n, j))));
      FillSiteSquare(surface, kEnergyPanel, i, j);
    }
}

// The shown squares of the random-field panel whose field has a class.
void DrawRandomFieldSquares(DrawingSurface& surface, const CompactLattice& lattice, double sd) {
  const int shown = std::min(lattice.Side(), kShownSide);
  for (int i = 1; i <= shown; ++i)
    for (int j = 1; j <= shown; ++j) {
      const std::optional<Color> colour = RandomFieldClass(lattice.RandomField(lattice.Index(i, j)), sd);
      if (!colour) continue;
      surface.SetBrushColor(*colour);
      FillSiteSquare(surface, kRandomFieldPanel, i, j);
    }
}

// "Run QRF Fields": a Gaussian draw per computed cell, copies for row n and
// column n, appended to the lattice row by row with the exchange constants.
CompactLattice WithRandomFields(const ModelParameters& parameters, int n, RandomNumbers& random,
                                const std::vector<std::uint8_t>& enhanced, double enhancement,
                                SweepObserver* observer) {
  const long double sd = parameters.FieldSd();
  const std::size_t side = static_cast<std::size_t>(n);
  CompactLattice lattice(n);
  std::vector<double> exchange(side), fields(side), firstRow(side);
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const std::size_t k = static_cast<std::size_t>(j) - 1;
      exchange[k] = enhanced[(static_cast<std::size_t>(i) - 1) * side + k] ? enhancement : 1.0;
      if (n > 1 && i == n)
        fields[k] = firstRow[k];
      else if (n > 1 && j == n)
        fields[k] = fields[0];
      else
        fields[k] = StoreDouble(random.GaussianRandom(0.0L, sd));
    }
    if (i == 1) firstRow = fields;
    lattice.AppendRow(exchange.data(), fields.data());
    RowDone(observer);
  }
  return lattice;
}

}  // namespace

std::uint64_t LargeLatticeBytes(int n) {
  // Per site: the exchange choice twice (while it is built), the random
  // field, three generations of spins and two local-field signs. The peak
  // resident size of ebsim run measured 14.0 bytes a site at sides 14,000
  // and 20,000 (the first choice is freed before the spins are taken).
  return static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n) * 15 + (std::uint64_t{64} << 20);
}

void CheckLargeLatticeFits(int n, unsigned copies) {
  // One lattice of a side the window's maps hold is not checked: reading
  // the limits takes longer than its Run.
  if (copies == 1 && n <= kMaxSide) return;
  const std::uint64_t needed = LargeLatticeBytes(n) * copies;
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  if (available && needed > *available)
    throw EConvertError("A lattice of side " + std::to_string(n) + " needs about " + Megabytes(needed) +
                        " of memory; " + Megabytes(*available) + " are available");
}

CompactLattice SetUpLargeLattice(const FormPort& port, const ModelParameters& parameters, int n, RandomNumbers& random,
                                 const UtcClock& clock, const char*& stage, SweepObserver* observer) {
  stage = "lee";
  port.Drawing().Refresh(Panel::Shape1);
  port.Drawing().Refresh(Panel::Shape3);
  random.SeedFromClock(clock);
  double enhancement = 1.0;
  const std::vector<std::uint8_t> enhanced = EnhancedSites(port, parameters, n, random, enhancement, observer);
  CheckExchangeEnergies(n, enhanced, enhancement, observer);
  if (port.surface) DrawExchangeSquares(*port.surface, n, enhanced, enhancement);
  port.Drawing().Refresh(Quantity::SurfaceRatio);
  stage = "qrf";
  port.Drawing().Refresh(Panel::Shape2);
  CompactLattice lattice = WithRandomFields(parameters, n, random, enhanced, enhancement, observer);
  if (port.surface) DrawRandomFieldSquares(*port.surface, lattice, StoreDouble(parameters.FieldSd()));
  return lattice;
}

}  // namespace ebsim
