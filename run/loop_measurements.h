#pragma once
// Measures the hysteresis loop during a Run: the magnetization after every
// pass, the fields where it changes sign on each branch, its extremes, and
// the reversed spins at the two ends; writes the eight loop read-outs.

#include <array>
#include <cstdint>
#include <optional>

#include "form/form_fields.h"
#include "model/lattice_state.h"
#include "model/model_parameters.h"
#include "engine/branch.h"

namespace ebsim {

// The read-outs a loop's measurements write, each cycle's own.
inline constexpr std::array<Quantity, 8> kLoopQuantities = {
    Quantity::Magnetization,  Quantity::AppliedField,    Quantity::EbShift,          Quantity::Coercivity,
    Quantity::VerticalShift,  Quantity::PlusSpinsAtHmin, Quantity::MinusSpinsAtHmax, Quantity::OpenEnd};

class LoopMeasurements {
 public:
  // n: the Run's side; spinSum: the sum of the spins, kept current by the
  // sweep. The parameters give H0 again at every raised maximum.
  LoopMeasurements(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice, int n,
                   double fieldStep, const std::int64_t& spinSum);

  // At the start of the sweep: this Run has found no crossing yet, and the
  // three read-outs computed from crossings and extremes are blanked.
  void StartSweep();

  // For a field history, whose steps are not equal: a crossing lies midway
  // between the fields of the two steps around it, and the vertical shift
  // is raised at fields of at least topField (the history's first).
  void UseListedFields(double topField);

  // After each relaxation pass at field H (before H moves on).
  void MeasureStep(Branch branch, double H);

  // The field reached at the end of an ascending leg without a step there
  // (an adiabatic loop's H0): M as the spins stand, and its extremes taken
  // as a step at that field takes them.
  void ReachField(double H);

  // The spins at +1 at the turning point, and at -1 at the end.
  void AddPlusSpins(std::int64_t count);
  void AddMinusSpins(std::int64_t count);
  void WriteEndReadouts();

  // M of the latest step; 0.0 before the first.
  double Magnetization() const { return magnetization_; }

 private:
  // The field where M changed sign, if it did since the last non-zero M.
  std::optional<long double> Crossing(Branch branch, double H) const;
  void TakeAscendingExtremes(double H);
  void Show(Quantity quantity, long double value);
  void Blank(Quantity quantity);

  const FormPort& port_;
  const ModelParameters& parameters_;
  LatticeState& lattice_;
  const int n_;
  const double fieldStep_;
  const std::int64_t& spinSum_;
  double magnetization_ = 0.0;
  // The last non-zero M of this Run and the step it came from.
  std::optional<double> lastNonZero_;
  std::int64_t lastNonZeroStep_ = 0;
  double lastNonZeroField_ = 0;
  std::optional<double> topField_;  // with listed fields
  std::int64_t step_ = 0;
  bool downCrossingFound_ = false;
};

}  // namespace ebsim
