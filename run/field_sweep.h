#pragma once
// The "Run": a zero-temperature sweep of the applied field from "Init. Mag.
// Field" down to "Min. Mag. Field" and back up, one relaxation pass over all
// sites per field value, with the loop measured and drawn as it goes.

#include <cstdint>
#include <vector>

#include "form/form_fields.h"
#include "model/lattice_state.h"
#include "model/model_parameters.h"
#include "engine/branch.h"
#include "engine/parallel_relaxation.h"

namespace ebsim {

// Hears about every field step of a Run.
class SweepObserver {
 public:
  virtual ~SweepObserver() = default;
  // After the step at field H (before H moves on), whose pass left the
  // magnetization M.
  virtual void FieldStepDone(Branch branch, double H, double M) = 0;
  // After each row of a large lattice's set-up, before the first step: may
  // end the Run by throwing, as FieldStepDone may.
  virtual void SetUpRowDone() {}
  // Whether TurningPoint wants the spins: gathering them costs a pass.
  virtual bool WantsTurningSpins() const { return false; }
  // At Hmin, after the descending branch's last step: the n x n spins row
  // by row, site (i, j) at (i - 1) * n + (j - 1).
  virtual void TurningPoint(std::vector<std::int8_t> /*spins*/, int /*n*/) {}
};

struct SweepSteps {
  std::int64_t descending = 0;
  std::int64_t ascending = 0;
};

// The Run's inputs, read and checked before anything is drawn.
struct RunInputs {
  int n = 0;
  double fieldStep = 0;
  // A bound on the applied field of every pass.
  long double largestField = 0;
};
// Takes the side, the steps and both field bounds; throws the Run's error
// for parameters it refuses whatever the lattice holds: no number, a side
// the lattice cannot hold, fewer than one step, H0 below Hmin, or a field
// step that rounds to zero.
RunInputs ReadRunInputs(const ModelParameters& parameters, int largestSide = kMaxSide);

// The Run on a lattice held by the pass-at-a-time engine alone, without site
// maps: for runs on sides beyond the maps' 300. The lattice state keeps the
// Run's scalars and the shown block's spins, drawn after every pass on the
// port's surface when it has one.
SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& scalars,
                         ParallelRelaxation& engine, int largestSide, SweepObserver* observer = nullptr);

// The whole Run on the lattice with these parameters, drawing on the
// surface. Ends with every spin of the block back at +1.
SweepSteps RunHysteresis(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                         SweepObserver* observer = nullptr);

// The spins' relaxation on a side-n block. Each visit evaluates only the
// visited site's neighbour field (for a site of row n or column n, that of
// the site it copies), from the spins as they stand at that moment.
class SpinRelaxation {
 public:
  SpinRelaxation(LatticeState& lattice, int n);

  // The Run's initial pass at field H: every site's neighbour field, and
  // both local fields set to (neighbour field + random field) + H.
  void InitLocalFields(double H);

  // One pass at field H over all sites in row-major order. A spin is
  // reversed when its two latest local fields have opposite signs (on the
  // ascending branch also when either is zero); then its new local field
  // is evaluated. Shown sites are drawn right after their visit when a
  // surface is given.
  void RelaxPass(double H, Branch branch, DrawingSurface* surface);

  // Sum of the block's spins, kept up to date by the passes.
  const std::int64_t& SpinSum() const { return spinSum_; }

 private:
  long double NeighbourSum(int i, int j) const;
  double StoreNeighbourField(int i, int j);
  void CheckSumsAround(int i, int j) const;
  // Visits site (i, j) by the general rules: any row or column.
  template <Branch branch>
  void Visit(int i, int j, double H, DrawingSurface* surface);
  // Visits the sites 2..n-1 of an inner row, whose neighbour fields all
  // take the four-term form.
  template <Branch branch, bool exactSums, bool mayOverflow>
  void VisitInnerRow(int i, double H, DrawingSurface* surface);
  template <Branch branch, bool exactSums, bool mayOverflow>
  void Pass(double H, DrawingSurface* surface);
  template <Branch branch>
  void PassFor(double H, DrawingSurface* surface);
  void Reversed(int i, int j);

  LatticeState& lattice_;
  const int n_;
  std::int64_t spinSum_ = 0;
  // Bounds on the exchange sums and the random fields over the block.
  long double largestSum_ = 0;
  long double largestRandomField_ = 0;
  // Whether some exchange sum could leave the double range for some spins.
  bool sumsMayOverflow_ = false;
  // Whether every exchange sum is exact in double precision, so that
  // forming it in double gives the extended sum's stored value.
  bool sumsExact_ = false;
};

}  // namespace ebsim
