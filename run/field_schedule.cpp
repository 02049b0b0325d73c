#include "run/field_schedule.h"

#include <stdexcept>

#include "base/float_checks.h"
#include "base/number_reading.h"

namespace ebsim {

namespace {

// A leg of equal steps from its start, each value the one before it moved
// by the step, stored; it goes on while the field lies within the bounds.
class SteppedLeg final : public FieldLeg {
 public:
  SteppedLeg(Branch branch, int cycle, double start, double step, long double low, long double high)
      : FieldLeg(branch, cycle), H_(start), step_(step), low_(low), high_(high) {}

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

// A leg of listed values, values[begin..end); once past them the field
// stands at `after`, the next leg's first value or the history's last.
class ListedLeg final : public FieldLeg {
 public:
  ListedLeg(Branch branch, int cycle, const std::vector<double>& values, std::size_t begin, std::size_t end,
            double after)
      : FieldLeg(branch, cycle), values_(values), at_(begin), end_(end), after_(after) {}

  double Field() const override { return at_ < end_ ? values_[at_] : after_; }
  bool AtStep() const override { return at_ < end_; }
  double MoveOn() override {
    ++at_;
    return Field();
  }

 private:
  const std::vector<double>& values_;
  std::size_t at_, end_;
  double after_;
};

}  // namespace

std::int64_t StepCount(const FieldProtocol& protocol) {
  std::int64_t steps = 0;
  for (int k = 0; k < protocol.LegCount(); ++k)
    for (const std::unique_ptr<FieldLeg> leg = protocol.Leg(k); leg->AtStep(); leg->MoveOn()) ++steps;
  return steps;
}

std::vector<double> LegFields(const FieldProtocol& protocol, int k) {
  std::vector<double> fields;
  for (const std::unique_ptr<FieldLeg> leg = protocol.Leg(k); leg->AtStep(); leg->MoveOn())
    fields.push_back(leg->Field());
  return fields;
}

HysteresisLoop::HysteresisLoop(long double h0, long double hmin, double fieldStep)
    : h0_(h0), hmin_(hmin), fieldStep_(fieldStep) {}

double HysteresisLoop::StartField() const { return StoreDouble(h0_); }

std::unique_ptr<FieldLeg> HysteresisLoop::Leg(int k) const { return Leg(k, 1); }

std::unique_ptr<FieldLeg> HysteresisLoop::Leg(int k, int cycle) const {
  if (k < 0 || k >= LegCount()) throw std::out_of_range("the loop has two legs");
  const long double low = hmin_ - fieldStep_, high = h0_ + fieldStep_;
  if (k == 0) return std::make_unique<SteppedLeg>(Branch::Descending, cycle, StoreDouble(h0_), fieldStep_, low, high);
  return std::make_unique<SteppedLeg>(Branch::Ascending, cycle, StoreDouble(hmin_), fieldStep_, low, high);
}

RepeatedLoop::RepeatedLoop(HysteresisLoop loop, int cycles) : loop_(loop), cycles_(cycles) {
  if (cycles < 1) throw std::invalid_argument("a loop is swept at least once");
}

std::unique_ptr<FieldLeg> RepeatedLoop::Leg(int k) const {
  if (k < 0 || k >= LegCount()) throw std::out_of_range("no such leg");
  return loop_.Leg(k % 2, k / 2 + 1);
}

FieldHistory::FieldHistory(std::vector<double> values) : values_(std::move(values)) {
  if (values_.empty()) throw std::invalid_argument("a field history holds at least one value");
  Branch branch = Branch::Descending;
  for (std::size_t k = 1; k < values_.size(); ++k) {
    const Branch step = values_[k] < values_[k - 1]   ? Branch::Descending
                        : values_[k] > values_[k - 1] ? Branch::Ascending
                                                      : branch;
    if (step != branch) legEnds_.push_back(k);
    branch = step;
  }
  legEnds_.push_back(values_.size());
  if (legEnds_.size() % 2) legEnds_.push_back(values_.size());  // the last cycle's empty ascending leg
}

std::unique_ptr<FieldLeg> FieldHistory::Leg(int k) const {
  if (k < 0 || k >= LegCount()) throw std::out_of_range("no such leg");
  const std::size_t begin = k == 0 ? 0 : legEnds_[static_cast<std::size_t>(k - 1)];
  const std::size_t end = legEnds_[static_cast<std::size_t>(k)];
  const Branch branch = k % 2 ? Branch::Ascending : Branch::Descending;
  return std::make_unique<ListedLeg>(branch, k / 2 + 1, values_, begin, end,
                                     end < values_.size() ? values_[end] : values_.back());
}

double ReadHistoryField(const std::string& text, const DecimalSeparator& separator) {
  return StoreDouble(ReadRealField(text, separator));
}

}  // namespace ebsim
