#include "run/field_schedule.h"

#include <stdexcept>

#include "base/float_checks.h"

namespace ebsim {

namespace {

// A leg of equal steps from its start, each value the one before it moved
// by the step, stored; it goes on while the field lies within the bounds.
class SteppedLeg final : public FieldLeg {
 public:
  SteppedLeg(Branch branch, double start, double step, long double low, long double high)
      : FieldLeg(branch, 1), H_(start), step_(step), low_(low), high_(high) {}

  double Field() const override { return H_; }
  bool AtStep() const override { return low_ <= H_ && H_ <= high_; }
  double MoveOn() override {
    const long double H = H_;
    H_ = StoreDouble(LegBranch() == Branch::Descending ? H - step_ : H + step_);
    return H_;
  }

 private:
  double H_;
  double step_;
  long double low_, high_;
};

}  // namespace

std::vector<double> LegFields(const FieldProtocol& protocol, int k) {
  std::vector<double> fields;
  for (const std::unique_ptr<FieldLeg> leg = protocol.Leg(k); leg->AtStep(); leg->MoveOn())
    fields.push_back(leg->Field());
  return fields;
}

HysteresisLoop::HysteresisLoop(long double h0, long double hmin, double fieldStep)
    : h0_(h0), hmin_(hmin), fieldStep_(fieldStep) {}

double HysteresisLoop::StartField() const { return StoreDouble(h0_); }

std::unique_ptr<FieldLeg> HysteresisLoop::Leg(int k) const {
  if (k < 0 || k >= LegCount()) throw std::out_of_range("the loop has two legs");
  const long double low = hmin_ - fieldStep_, high = h0_ + fieldStep_;
  if (k == 0) return std::make_unique<SteppedLeg>(Branch::Descending, StoreDouble(h0_), fieldStep_, low, high);
  return std::make_unique<SteppedLeg>(Branch::Ascending, StoreDouble(hmin_), fieldStep_, low, high);
}

}  // namespace ebsim
