#include "setup/random_field_run.h"

#include <vector>

#include "base/float_checks.h"
#include "form/panel_geometry.h"
#include "setup/disorder_set_up.h"
#include "setup/map_cells.h"

namespace ebsim {

std::optional<Color> RandomFieldClass(double q, double sd) {
  const long double x = q;
  const long double s = sd;
  // Strict bounds: a value exactly on one belongs to no class.
  if (x < -3 * s) return clRed;
  if (-3 * s < x && x < -2 * s) return clYellow;
  if (-2 * s < x && x < -s) return clLime;
  if (-s < x && x < 0) return clGreen;
  if (0 < x && x < s) return clAqua;
  if (s < x && x < 2 * s) return clBlue;
  if (2 * s < x && x < 3 * s) return clFuchsia;
  if (x > 3 * s) return clPurple;
  return std::nullopt;
}

void RunRandomField(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                    RandomNumbers& random) {
  port.Drawing().Refresh(Panel::Shape2);
  const int n = lattice.LatticeSize;
  lattice.QrfMap.FillBlock(n, 0.0);
  // The standard deviation is read again for every drawn cell.
  FieldDrawsInTurn draws(parameters, random);
  MapCells cells(port, parameters, lattice);
  std::vector<double> fields(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  DrawRandomFields(n, draws, DrawThreads{}, fields, cells);
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      lattice.QrfStandardDeviation = 0.0;
      lattice.QrfStandardDeviation = StoreDouble(parameters.FieldSd());
      const std::optional<Color> colour = RandomFieldClass(lattice.QrfMap(i, j), lattice.QrfStandardDeviation);
      if (colour && port.surface && IsShown(i, j)) {
        port.surface->SetBrushColor(*colour);
        const SiteSquare s = SiteSquareAt(kRandomFieldPanel.x, kRandomFieldPanel.y, i, j);
        port.surface->FillRect(s.left, s.top, s.right, s.bottom);
      }
    }
  }
}

}  // namespace ebsim
