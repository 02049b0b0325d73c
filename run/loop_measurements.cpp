#include "run/loop_measurements.h"

#include <cmath>

#include "base/float_checks.h"
#include "form/field_numbers.h"

namespace ebsim {

LoopMeasurements::LoopMeasurements(const FormPort& port, const ModelParameters& parameters, LatticeState& lattice,
                                   int n, double fieldStep, const std::int64_t& spinSum)
    : port_(port), parameters_(parameters), lattice_(lattice), n_(n), fieldStep_(fieldStep), spinSum_(spinSum) {}

void LoopMeasurements::StartSweep() {
  downCrossingFound_ = false;
  lastNonZero_.reset();
  lattice_.ReadoutCrossings.reset();
  Blank(Quantity::EbShift);
  Blank(Quantity::Coercivity);
  Blank(Quantity::VerticalShift);
}

void LoopMeasurements::UseListedFields(double topField) { topField_ = topField; }

std::optional<long double> LoopMeasurements::Crossing(Branch branch, double H) const {
  if (magnetization_ == 0.0 || !lastNonZero_) return std::nullopt;
  if (!(static_cast<long double>(*lastNonZero_) * magnetization_ < 0)) return std::nullopt;
  if (topField_) return Checked(static_cast<long double>(H) + lastNonZeroField_) / 2;
  // Midpoint of the interval from the last non-zero M's field to this one:
  // k steps back along the branch.
  const long double k = static_cast<long double>(step_ - lastNonZeroStep_);
  const long double twice = 2 * static_cast<long double>(H);
  const long double back = Checked(k * fieldStep_);
  return Checked(branch == Branch::Descending ? twice + back : twice - back) / 2;
}

void LoopMeasurements::MeasureStep(Branch branch, double H) {
  ++step_;
  double& previous = branch == Branch::Descending ? lattice_.PrevMagnetizationDown : lattice_.PrevMagnetizationUp;
  previous = magnetization_;
  magnetization_ = StoreDouble(Divide(static_cast<long double>(spinSum_), static_cast<long double>(n_ * n_)));

  if (const std::optional<long double> crossing = Crossing(branch, H)) {
    if (branch == Branch::Descending) {
      lattice_.DownCrossingField = StoreDouble(*crossing);
      downCrossingFound_ = true;
    } else {
      lattice_.UpCrossingField = StoreDouble(*crossing);
      if (downCrossingFound_) {
        const long double down = lattice_.DownCrossingField, up = lattice_.UpCrossingField;
        lattice_.ReadoutCrossings = LoopCrossings{lattice_.DownCrossingField, lattice_.UpCrossingField};
        Show(Quantity::EbShift, Checked(std::fabs(down) - up) * -0.5L);
        Show(Quantity::Coercivity, Checked(std::fabs(up) + std::fabs(down)));
      }
    }
  }
  if (magnetization_ != 0.0) {
    lastNonZero_ = magnetization_;
    lastNonZeroStep_ = step_;
    lastNonZeroField_ = H;
  }

  if (branch == Branch::Ascending) TakeAscendingExtremes(H);
  Show(Quantity::Magnetization, magnetization_);
  Show(Quantity::AppliedField, H);
}

void LoopMeasurements::TakeAscendingExtremes(double H) {
  if (magnetization_ < lattice_.MinMagnetization) lattice_.MinMagnetization = magnetization_;
  // Raised only at fields of at least H0.
  if (magnetization_ > lattice_.MaxMagnetization && !((topField_ ? *topField_ : parameters_.H0()) > H)) {
    lattice_.MaxMagnetization = magnetization_;
    const long double maxM = lattice_.MaxMagnetization, minM = lattice_.MinMagnetization;
    Show(Quantity::VerticalShift, (1 - (1 - maxM) * 0.5L + minM) * 0.5L);
  }
}

void LoopMeasurements::ReachField(double H) {
  magnetization_ = StoreDouble(Divide(static_cast<long double>(spinSum_), static_cast<long double>(n_ * n_)));
  TakeAscendingExtremes(H);
  Show(Quantity::Magnetization, magnetization_);
  Show(Quantity::AppliedField, H);
}

void LoopMeasurements::AddPlusSpins(std::int64_t count) { lattice_.PlusSpinCount += static_cast<std::int32_t>(count); }

void LoopMeasurements::AddMinusSpins(std::int64_t count) {
  lattice_.MinusSpinCount += static_cast<std::int32_t>(count);
}

void LoopMeasurements::WriteEndReadouts() {
  const long double sites = static_cast<long double>(n_) * n_;
  Show(Quantity::PlusSpinsAtHmin, Divide(lattice_.PlusSpinCount, sites));
  Show(Quantity::MinusSpinsAtHmax, Divide(lattice_.MinusSpinCount, sites));
  Show(Quantity::OpenEnd, 1 - static_cast<long double>(magnetization_));
}

void LoopMeasurements::Show(Quantity quantity, long double value) {
  port_.Drawing().Refresh(quantity);
  ShowReadout(port_, quantity, value);
}

void LoopMeasurements::Blank(Quantity quantity) {
  port_.Drawing().Refresh(quantity);
  ClearReadout(port_, quantity);
}

}  // namespace ebsim
