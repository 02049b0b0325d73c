#include "engine/field_plan.h"

#include <algorithm>
#include <cmath>

namespace ebsim {

FieldPlan::FieldPlan(std::vector<double> fields) : fields_(std::move(fields)) {
  if (!fields_.empty()) FindStretchEnd();
}

void FieldPlan::Advance() {
  if (at_ >= fields_.size()) return;
  ++at_;
  if (at_ == end_ && at_ < fields_.size()) {
    begin_ = at_;
    FindStretchEnd();
  }
}

// The stretch from begin_ goes on while every step moves the field the same
// way as the first that moves it, or leaves it where it is.
void FieldPlan::FindStretchEnd() {
  int direction = 0;
  end_ = begin_ + 1;
  for (; end_ < fields_.size(); ++end_) {
    const double from = fields_[end_ - 1], to = fields_[end_];
    const int step = (to > from) - (to < from);
    if (step == 0) continue;
    if (direction != 0 && step != direction) break;
    direction = step;
  }
}

namespace {

// The first of fields[0, count) where still(H) fails, still being true on a
// prefix; count when there is none. Without branches on the data, which
// follow no pattern.
template <class Still>
std::size_t FirstFailing(const double* fields, std::size_t count, Still still) {
  if (count == 0 || still(fields[count - 1])) return count;
  const double* base = fields;
  std::size_t n = count;
  while (n > 1) {
    const std::size_t half = n / 2;
    base = still(base[half]) ? base + half : base;
    n -= half;
  }
  return static_cast<std::size_t>(base - fields) + (still(*base) ? 1 : 0);
}

}  // namespace

// For a double H, H > critical exactly when H > below, the largest double
// not above critical, and H < critical exactly when H < above, the least
// double not below it; H = critical only where critical is a double, below.
std::size_t FieldPlan::FirstChange(long double critical, int sign) const {
  if (at_ >= fields_.size()) return kNever;
  const double nearest = static_cast<double>(critical);
  double below = nearest, above = nearest;
  if (static_cast<long double>(nearest) > critical) below = std::nextafter(nearest, -HUGE_VAL);
  if (static_cast<long double>(nearest) < critical) above = std::nextafter(nearest, HUGE_VAL);
  const double* first = fields_.data() + at_ + 1;
  const std::size_t count = end_ - (at_ + 1);
  std::size_t k = 0;
  if (sign > 0) {
    k = FirstFailing(first, count, [below](double H) { return H > below; });
  } else if (sign < 0) {
    k = FirstFailing(first, count, [above](double H) { return H < above; });
  } else {
    k = FirstFailing(first, count, [below](double H) { return H == below; });
  }
  return k == count ? kNever : at_ + 1 + k;
}

}  // namespace ebsim
