// Relaxation to stability by flip fields, and the adiabatic field.
//
// The stored local field fl(fl(F + q) + H), each sum in extended precision,
// is a non-decreasing function of H (every rounding is monotone), so a spin
// whose neighbours hold still turns unstable at one double field and stays
// so beyond it: a +1 spin at every H up to its down field, a -1 spin from
// its up field on. Where every constant is zero or more a reversal lowers
// (or raises) the local fields of the cells it reaches just as the field
// does, so from a stable state a move of the field in either direction
// unsettles only spins of one sign, the final state does not depend on the
// order of the reversals, and each spin reverses at most once.

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "base/errors.h"
#include "engine/flip_rule.h"
#include "engine/local_field.h"
#include "engine/stable_relaxation.h"

namespace ebsim {

// The double next to the critical field -(F + q), corrected a double at a
// time by the local field itself until it is the last field (down for +1,
// up for -1) at which the spin is unstable. No local field overflows here.
double StableRelaxation::FlipField(std::size_t s) const {
  const std::int8_t spin = spins_[s];
  if (spin == 0) return 0.0;
  const double F = StoredNeighbourField(s), q = lattice_.RandomField(s);
  const auto unstable = [&](double H) { return spin * SignOf(LocalField<false>(F, q, H)) < 0; };
  const double away = spin > 0 ? -HUGE_VAL : HUGE_VAL;  // where the spin stays unstable
  double H = static_cast<double>(-(static_cast<long double>(F) + q));
  while (!unstable(H)) H = std::nextafter(H, away);
  for (double next = std::nextafter(H, -away); unstable(next); next = std::nextafter(H, -away)) H = next;
  return H;
}

void StableRelaxation::BuildFlipFields() {
  flipFields_.Reset(spins_.size());
  for (std::size_t s = 0; s < spins_.size(); ++s) flipFields_.Set(s, spins_[s], FlipField(s));
  flipFieldsValid_ = true;
}

inline bool StableRelaxation::UnstableAtFlipField(std::size_t s, double H) const {
  const std::int8_t spin = spins_[s];
  return spin > 0 ? H <= flipFields_.Field(s) : spin < 0 && H >= flipFields_.Field(s);
}

// The first spin unstable at H: the top of the +1 order, else of the -1
// order; none when neither is.
std::uint32_t StableRelaxation::FirstUnstable(double H) const {
  const std::uint32_t down = flipFields_.TopDown();
  if (down != FlipFieldHeaps::kNone && UnstableAtFlipField(down, H)) return down;
  const std::uint32_t up = flipFields_.TopUp();
  if (up != FlipFieldHeaps::kNone && UnstableAtFlipField(up, H)) return up;
  return FlipFieldHeaps::kNone;
}

// Site s reversed and every reversal that follows at H, through the queue;
// the flip fields of the reversed spins and of the cells they reach
// recomputed.
void StableRelaxation::AvalancheFrom(std::size_t s, double H) {
  queue_.clear();
  queue_.push_back(static_cast<std::uint32_t>(s));
  queued_[s] = 1;
  while (!queue_.empty()) {
    const std::size_t c = queue_.back();
    queue_.pop_back();
    queued_[c] = 0;
    if (!UnstableAtFlipField(c, H)) continue;
    Reverse(c);
    flipFields_.Set(c, spins_[c], FlipField(c));
    ForDependents(c, [this](std::size_t d) {
      flipFields_.Set(d, spins_[d], FlipField(d));
      if (queued_[d]) return;
      queued_[d] = 1;
      queue_.push_back(static_cast<std::uint32_t>(d));
    });
  }
}

// The first relaxation after the spins were set scans every site, which
// leaves them stable; the flip fields are taken from there.
void StableRelaxation::RelaxByEvents(double H) {
  if (!flipFieldsValid_) {
    RelaxByQueue(H);
    BuildFlipFields();
    return;
  }
  for (std::uint32_t s = FirstUnstable(H); s != FlipFieldHeaps::kNone; s = FirstUnstable(H)) AvalancheFrom(s, H);
}

std::optional<double> StableRelaxation::NextAvalancheField(Branch branch, double from, double limit) {
  if (!events_) throw std::logic_error("the field moves by avalanches only with flip fields");
  if (MayOverflow(from) || MayOverflow(limit)) throw EOverflow();
  if (!flipFieldsValid_) BuildFlipFields();
  const bool down = branch == Branch::Descending;
  const std::uint32_t s = down ? flipFields_.TopDown() : flipFields_.TopUp();
  if (s == FlipFieldHeaps::kNone) return std::nullopt;
  const double field = flipFields_.Field(s);
  const double H = down ? std::min(field, from) : std::max(field, from);
  if (down ? H < limit : H > limit) return std::nullopt;
  return H;
}

std::int64_t StableRelaxation::Avalanche(double H, Branch branch) {
  StartRelaxation();
  if (!events_ || !flipFieldsValid_) throw std::logic_error("an avalanche follows NextAvalancheField");
  const std::uint32_t s = branch == Branch::Descending ? flipFields_.TopDown() : flipFields_.TopUp();
  if (s != FlipFieldHeaps::kNone && UnstableAtFlipField(s, H)) AvalancheFrom(s, H);
  return flips_;
}

}  // namespace ebsim
