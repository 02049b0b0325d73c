#include "setup/compact_set_up.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "base/float_checks.h"
#include "base/uninitialized_vector.h"
#include "engine/worker_pool.h"
#include "form/field_numbers.h"
#include "form/panel_geometry.h"
#include "setup/disorder_set_up.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"

namespace ebsim {

namespace {

// Pairs per chunk of the Gaussian draws: enough chunks in a stretch of rows
// for the threads to share it evenly.
constexpr std::uint64_t kChunkPairs = 4096;

// The hooks of the compact set-up: the constant read once (the texts do not
// change while it runs), the shown squares drawn, the poll passed on.
class CompactCells final : public SetUpCells {
 public:
  CompactCells(const FormPort& port, const ModelParameters& parameters, const std::function<void()>& rowDone)
      : port_(port), parameters_(parameters), rowDone_(rowDone) {}

  std::optional<double> ExchangeRow(int i, std::span<const std::uint8_t> enhanced, int count) override {
    if (count > 0 && !constant_) constant_ = StoreDouble(parameters_.Enhancement());
    if (port_.surface && i <= kShownSide) {
      for (int j = 1; j <= std::min(static_cast<int>(enhanced.size()), kShownSide); ++j) {
        port_.surface->SetBrushColor(enhanced[static_cast<std::size_t>(j - 1)] ? clRed : clWhite);
        FillSiteSquare(*port_.surface, kExchangePanel, i, j);
      }
    }
    return constant_;
  }
  void EnergyRow(int i, std::span<const double> energies) override {
    if (!port_.surface || i > kShownSide) return;
    for (int j = 1; j <= std::min(static_cast<int>(energies.size()), kShownSide); ++j) {
      port_.surface->SetBrushColor(EnergyColour(energies[static_cast<std::size_t>(j - 1)]));
      FillSiteSquare(*port_.surface, kEnergyPanel, i, j);
    }
  }
  void RowDone() override {
    if (rowDone_) rowDone_();
  }

 private:
  const FormPort& port_;
  const ModelParameters& parameters_;
  const std::function<void()>& rowDone_;
  std::optional<double> constant_;
};

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

}  // namespace

CompactLattice SetUpCompactLattice(const FormPort& port, const ModelParameters& parameters, int n,
                                   RandomNumbers& random, const UtcClock& clock, const char*& stage, int threads,
                                   const std::function<void()>& rowDone, Boundary boundary) {
  WorkerPool pool(std::clamp(threads, 1, n));
  DrawThreads how;
  how.threads = pool.Size();
  how.run = [&pool](const std::function<void(int)>& task) { pool.Run(task); };
  how.chunkPairs = kChunkPairs;
  CompactCells cells(port, parameters, rowDone);

  stage = "lee";
  port.Drawing().Refresh(Panel::Shape1);
  port.Drawing().Refresh(Panel::Shape3);
  random.SeedFromClock(clock);
  EnhancedSites sites = DrawEnhancedSites(n, parameters, random, how, cells, boundary);
  port.Drawing().Refresh(Quantity::SurfaceRatio);
  ShowReadout(port, Quantity::SurfaceRatio, Divide(sites.count, static_cast<long double>(n) * n));
  ComputeInitialEnergies(sites, how, cells, boundary);

  stage = "qrf";
  port.Drawing().Refresh(Panel::Shape2);
  FieldDrawsOnThreads draws(parameters.FieldSd(), random, how);
  // Untouched until drawn: each thread takes the pages it fills.
  UninitializedVector<double> fields(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  DrawRandomFields(n, draws, how, fields, cells, boundary);
  const double values[2] = {1.0, sites.constant};
  CompactLattice lattice(n, std::move(sites.enhanced), values, std::move(fields));
  if (port.surface) DrawRandomFieldSquares(*port.surface, lattice, StoreDouble(parameters.FieldSd()));
  return lattice;
}

}  // namespace ebsim
