#include "engine/event_relaxation.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "engine/checked_sums.h"
#include "engine/flip_rule.h"
#include "engine/local_field.h"
#include "engine/site_field.h"

namespace ebsim {

namespace {

constexpr std::uint32_t kNoDue = UINT32_MAX;

}  // namespace

EventRelaxation::EventRelaxation(CompactLattice lattice, std::vector<std::int8_t> spins, Boundary boundary)
    : lattice_(std::move(lattice)), n_(lattice_.Side()), rule_(n_, boundary) {
  const std::size_t sites = static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_);
  if (spins.size() != sites) throw std::invalid_argument("one spin per site is needed");
  if (sites >= kNoDue) throw std::invalid_argument("the event engine holds fewer than 2^32 sites");
  for (const std::int8_t s : spins) {
    if (s < -1 || s > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
    spinSum_ += s;
  }
  spins_.assign(spins.begin(), spins.end());

  sites_.resize(sites);
  queued_.assign((sites + 63) / 64, 0);
  rowChanged_.resize(static_cast<std::size_t>(n_));
}

void EventRelaxation::ExpectFields(std::vector<double> fields) {
  if (fields.size() >= kNoDue) fields.clear();
  buckets_.clear();
  buckets_.resize(fields.size());
  plan_ = FieldPlan(std::move(fields));
  duesValid_ = false;
}

void EventRelaxation::ResetSpins(std::int8_t spin) {
  if (spin < -1 || spin > 1) throw std::invalid_argument("a spin is -1, 0 or +1");
  std::fill(spins_.begin(), spins_.end(), spin);
  spinSum_ = static_cast<std::int64_t>(spin) * n_ * n_;
  for (SiteState& site : sites_) site.marks &= static_cast<std::uint8_t>(~kReversed);
  reversed_.clear();
  reversedBefore_.clear();
  duesValid_ = false;
}

// Both signs of every site from the spins as they stand, as the initial
// pass leaves them; an overflow is raised at the site where it arises.
void EventRelaxation::InitLocalFields(double H) {
  for (SiteState& site : sites_) site.marks = 0;
  std::fill(queued_.begin(), queued_.end(), 0);
  queue_.clear();
  reversed_.clear();
  reversedBefore_.clear();
  zeros_.clear();
  const bool checked = FieldsMayOverflow(lattice_, H);
  H_ = H;
  for (std::size_t s = 0; s < spins_.size(); ++s) {
    const int i = static_cast<int>(s / static_cast<std::size_t>(n_)) + 1;
    const int j = static_cast<int>(s % static_cast<std::size_t>(n_)) + 1;
    sites_[s].previous = checked ? Evaluate<true>(s, i, j).sign : Evaluate<false>(s, i, j).sign;
  }
  changed_.clear();
  for (std::size_t s = 0; s < spins_.size(); ++s) {
    SiteState& site = sites_[s];
    site.latest = site.previous;
    if (site.latest == 0) {
      site.marks |= kInZeros;
      zeros_.push_back(s);
    }
  }
  std::fill(rowChanged_.begin(), rowChanged_.end(), 0);
  changedRows_.clear();
  flips_ = 0;
  visits_ = spins_.size();
  sitesDone_ = spins_.size();
  duesValid_ = false;
}

void EventRelaxation::Relax(double H, Branch branch) {
  const bool planned = plan_.Expects(H);
  if (!planned && plan_.Size() > 0) ExpectFields({});
  if (FieldsMayOverflow(lattice_, H)) {
    WholePass<true>(H, branch, planned);
    duesValid_ = planned;
  } else if (planned && duesValid_ && !plan_.StretchBegins()) {
    EventPass(H, branch);
  } else {
    WholePass<false>(H, branch, planned);
    duesValid_ = planned;
  }
  if (planned) plan_.Advance();
}

// Site s's new local-field sign at H_, from the spins as they stand for the
// sites the pass has visited and as they stood before it for the others;
// checked: in place, with every overflow raised.
template <bool checked>
EventRelaxation::Evaluation EventRelaxation::Evaluate(std::size_t s, int i, int j) const {
  double F = 0.0;
  if constexpr (checked) {
    F = CheckedField(lattice_, rule_, spins_.data(), i, j);
  } else if (i > 1 && j > 1 && i < n_ && j < n_) {
    F = InnerField(s);
  } else {
    const SiteTerms t = TermsOf(rule_, i, j);
    if (t.count > 0) {
      auto term = [&](int k) -> long double {
        const std::size_t c = t.cell[k];
        const int spin = t.visited[k] ? spins_[c] : SpinBefore(c);
        return static_cast<long double>(lattice_.Exchange(c)) * static_cast<double>(spin);
      };
      long double sum = term(0);
      for (int k = 1; k < t.count; ++k) sum = sum + term(k);
      F = static_cast<double>(sum);
    }
  }
  const double q = lattice_.RandomField(s);
  return {SignOf(LocalField<checked>(F, q, H_)), -(static_cast<long double>(F) + q)};
}

// The neighbour field of a site off the block's edges, which every boundary
// sums left, right, upper, lower; the left and upper neighbours visited.
double EventRelaxation::InnerField(std::size_t s) const {
  const std::size_t n = static_cast<std::size_t>(n_);
  auto term = [&](std::size_t c, int spin) {
    return static_cast<long double>(lattice_.Exchange(c)) * static_cast<double>(spin);
  };
  const long double sum = ((term(s - 1, spins_[s - 1]) + term(s + 1, SpinBefore(s + 1))) + term(s - n, spins_[s - n])) +
                          term(s + n, SpinBefore(s + n));
  return static_cast<double>(sum);
}

template EventRelaxation::Evaluation EventRelaxation::Evaluate<true>(std::size_t, int, int) const;
template EventRelaxation::Evaluation EventRelaxation::Evaluate<false>(std::size_t, int, int) const;

// The site's signs moved on by its new one, and where it will next change
// along the plan.
void EventRelaxation::Store(std::size_t s, const Evaluation& e, bool planned) {
  SiteState& site = sites_[s];
  site.previous = site.latest;
  site.latest = e.sign;
  if (e.sign != site.previous) changed_.push_back(s);
  if (e.sign == 0 && !(site.marks & kInZeros)) {
    site.marks |= kInZeros;
    zeros_.push_back(s);
  }
  if (!planned) return;
  const std::size_t due = plan_.FirstChange(e.critical, e.sign);
  site.due = due == FieldPlan::kNever ? kNoDue : static_cast<std::uint32_t>(due);
  if (due != FieldPlan::kNever) buckets_[due].push_back(static_cast<std::uint32_t>(s));
}

}  // namespace ebsim
