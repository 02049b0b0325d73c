#pragma once
// The applied fields of the relaxations to come, in order, as the event
// engine expects them. They fall into stretches along which the field never
// turns back; within one, the sign of a local field whose neighbours hold
// still changes at most once, at a step found by bisection.
//
// The stored local field fl(fl(F + q) + H), each sum in extended precision,
// has the sign of the exact sum a + H, a = fl(F + q): every double and a are
// multiples of 2^-1074, so a nonzero a + H is at least that large and no
// rounding takes it to zero or across it. The sign is therefore that of
// H - c for the site's critical field c = -a, compared exactly.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace ebsim {

// The sign of H - critical, exactly.
inline std::int8_t SignAbove(double H, long double critical) {
  const long double h = H;
  return static_cast<std::int8_t>((h > critical) - (h < critical));
}

class FieldPlan {
 public:
  static constexpr std::size_t kNever = static_cast<std::size_t>(-1);

  FieldPlan() = default;
  explicit FieldPlan(std::vector<double> fields);

  std::size_t Size() const { return fields_.size(); }
  // The position of the relaxation to come, and whether it is at H.
  std::size_t At() const { return at_; }
  bool Expects(double H) const { return at_ < fields_.size() && fields_[at_] == H; }
  // Whether the relaxation to come begins a stretch (the field turns back
  // there, or it is the plan's first).
  bool StretchBegins() const { return at_ == begin_; }
  // Past the relaxation at At().
  void Advance();

  // The first step after At(), within its stretch, whose field gives a
  // local field of critical field `critical` another sign than `sign`, its
  // sign at At(); kNever when there is none.
  std::size_t FirstChange(long double critical, int sign) const;

 private:
  void FindStretchEnd();

  std::vector<double> fields_;
  std::size_t at_ = 0;
  // The current stretch: [begin_, end_).
  std::size_t begin_ = 0, end_ = 0;
};

}  // namespace ebsim
