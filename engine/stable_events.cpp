// Relaxation to stability by flip fields, and the adiabatic field.
//
// Where every constant is zero or more a reversal lowers (or raises) the
// local fields of the cells it reaches just as the field does, so from a
// stable state a move of the field in either direction unsettles only spins
// of one sign, the final state does not depend on the order of the
// reversals, and each spin reverses at most once. The lanes of the sorted
// lists give the flip fields on the way in order (engine/sorted_flip_fields.h).

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "base/errors.h"
#include "base/huge_pages.h"
#include "engine/flip_field.h"
#include "engine/site_field.h"
#include "engine/stable_relaxation.h"
#include "engine/worker_pool.h"

namespace ebsim {

namespace {

// A type: the number of terms, then for each in summation order its
// constant's number and whether its spin is 0, three bits a term.
constexpr int kTermBits = 3;
constexpr std::uint32_t kTypes = std::uint32_t{1} << (3 + 4 * kTermBits);
// The most sites of a type sorted in one piece (more are split into buckets
// first, which a team of threads then sorts), and of a piece of a scan.
constexpr std::size_t kSortedAlone = std::size_t{1} << 20;

}  // namespace

int StableRelaxation::ConstantNumber(std::size_t s) const {
  if (lattice_.Indexed()) return lattice_.Choice(s);
  const double J = lattice_.Constants()[s];
  return static_cast<int>(std::find(constantValues_, constantValues_ + constantCount_, J) - constantValues_);
}

std::uint32_t StableRelaxation::TypeOf(std::size_t s) const {
  const std::size_t n = static_cast<std::size_t>(n_);
  const int i = static_cast<int>(s / n) + 1, j = static_cast<int>(s % n) + 1;
  SiteTerms t;
  if (i > 1 && j > 1 && i < n_ && j < n_) {
    t.count = 4;
    t.cell[0] = s - 1, t.cell[1] = s + 1, t.cell[2] = s - n, t.cell[3] = s + n;
  } else {
    t = TermsOf(rule_, i, j);
  }
  std::uint32_t type = static_cast<std::uint32_t>(t.count);
  for (int k = 0; k < t.count; ++k) {
    const std::uint32_t term = static_cast<std::uint32_t>(ConstantNumber(t.cell[k])) | (spins_[t.cell[k]] == 0 ? 4u : 0u);
    type |= term << (3 + kTermBits * k);
  }
  return type;
}

// Every value the neighbour field of a site of this type takes, its spins
// +1 or -1 but for those that are 0, summed as NeighbourField sums them.
std::vector<double> StableRelaxation::FieldsOfType(std::uint32_t type) const {
  const int count = static_cast<int>(type & 7);
  std::vector<double> fields;
  for (std::uint32_t signs = 0; signs < (1u << count); ++signs) {
    const auto sum = [&]<class Sum>(Sum) {
      return SumInOrder<Sum>(count, [&](int k) -> Sum {
        const std::uint32_t bits = type >> (3 + kTermBits * k);
        const double spin = (bits & 4) ? 0.0 : (signs >> k) & 1 ? -1.0 : 1.0;
        return static_cast<Sum>(constantValues_[bits & 3]) * spin;
      });
    };
    const double F = exact_ ? sum(0.0) : sum(0.0L);
    if (std::find(fields.begin(), fields.end(), F) == fields.end()) fields.push_back(F);
  }
  return fields;
}

// The sites of spin +1 or -1 (a random field NaN leaves its spin as it is)
// by type, then by random field; a lane for each value a type's neighbour
// field takes.
void StableRelaxation::BuildOrder() {
  const double* q = lattice_.RandomFields();
  const auto listed = [&](std::size_t s) { return spins_[s] != 0 && !std::isnan(q[s]); };
  std::vector<std::size_t> start(kTypes + 1, 0);
  for (std::size_t s = 0; s < spins_.size(); ++s) {
    Tick();
    if (listed(s)) ++start[TypeOf(s) + 1];
  }
  for (std::uint32_t t = 1; t <= kTypes; ++t) start[t] += start[t - 1];
  std::vector<std::uint32_t> order;
  ResizeInLargePages(order, start[kTypes]);
  {
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (std::size_t s = 0; s < spins_.size(); ++s) {
      Tick();
      if (listed(s)) order[next[TypeOf(s)]++] = static_cast<std::uint32_t>(s);
    }
  }
  std::vector<SortedFlipFields::Lane> lanes;
  std::optional<WorkerPool> team;
  if (threads_ > 1 && order.size() > kSortedAlone) team.emplace(threads_);
  for (std::uint32_t t = 0; t < kTypes; ++t) {
    if (start[t] == start[t + 1]) continue;
    SortedFlipFields::SortByField(order.data() + start[t], order.data() + start[t + 1], q, working_,
                                  kSortedAlone, team ? &*team : nullptr);
    for (const double F : FieldsOfType(t)) lanes.push_back({F, start[t], start[t + 1]});
  }
  lanes_.Reset(q, std::move(order), std::move(lanes));
  orderBuilt_ = true;
}

void StableRelaxation::PlaceLanes(bool up, double at) {
  if (!orderBuilt_) BuildOrder();
  lanes_.Place(up, at);
  lanesWay_ = up ? 1 : -1;
  pending_.clear();
  pendingNext_ = 0;
}

// Whether a head is its site's: the spin its lane flips, the neighbour
// field of its lane.
inline bool StableRelaxation::HeadDue(const SortedFlipFields::Head& head) const {
  return spins_[head.site] == (lanes_.Up() ? -1 : 1) && StoredNeighbourField(head.site) == head.F;
}

// The first head passed, and with it the sites its lane reaches that
// already hold the spin it flips to: on a leg the spins reverse one way
// only, so those are never due before the lanes are placed again.
inline void StableRelaxation::PopHead() {
  Tick();
  const std::int8_t flipped = lanes_.Up() ? 1 : -1;
  lanes_.Pop([&](std::uint32_t s) { return spins_[s] == flipped; },
             [this](std::uint32_t s) { PrefetchSite(s); });
}

// Every head the field reaches at H, the field moved there: those due
// taken.
template <class Take>
void StableRelaxation::TakeReached(double H, Take&& take) {
  const bool up = lanes_.Up();
  for (auto head = lanes_.Top(); head && (up ? head->field <= H : head->field >= H); head = lanes_.Top()) {
    if (HeadDue(*head)) take(*head);
    PopHead();
  }
}

// The first relaxation after the spins were set scans every site, which
// leaves them stable; the lanes are placed from there.
void StableRelaxation::RelaxByEvents(double H) {
  if (!settled_) return SettleByScan(H);
  for (; pendingNext_ < pending_.size(); ++pendingNext_) Enqueue(pending_[pendingNext_]);
  if (H != at_) {
    const bool up = H > at_;
    if (lanesWay_ != (up ? 1 : -1)) PlaceLanes(up, at_);
    TakeReached(H, [this](const SortedFlipFields::Head& head) { Enqueue(head.site); });
  }
  DrainQueue(H);
  pending_.clear();
  pendingNext_ = 0;
  at_ = H;
}

// Site s reversed and every reversal that follows at H, through the queue.
void StableRelaxation::AvalancheFrom(std::size_t s, double H) {
  Enqueue(s);
  DrainQueue(H);
}

// Whether one of the sites found unstable at at_ still is at H; those that
// are not passed by.
bool StableRelaxation::PendingDue(double H) {
  const std::int8_t spin = lanes_.Up() ? -1 : 1;
  for (; pendingNext_ < pending_.size(); ++pendingNext_) {
    const std::uint32_t s = pending_[pendingNext_];
    if (spins_[s] == spin && Unstable(s, H)) return true;
  }
  return false;
}

// The sites found unstable in the order their avalanches start: by flip
// field, first on the way, then by site; only site numbers are kept, as all
// of them may be unstable at the start of a leg, and where their fields
// differ those are found again (each site's neighbour field is its lane's).
void StableRelaxation::OrderPending(bool up, bool tied) {
  if (tied) return std::sort(pending_.begin(), pending_.end());
  const std::int8_t spin = up ? -1 : 1;
  const auto field = [&](std::uint32_t s) {
    return FlipFieldOf(spin, StoredNeighbourField(s), lattice_.RandomField(s));
  };
  std::sort(pending_.begin(), pending_.end(), [&](std::uint32_t a, std::uint32_t b) {
    const double fa = field(a), fb = field(b);
    if (fa != fb) return up ? fa < fb : fa > fb;
    return a < b;
  });
}

// Every spin of the branch unstable at H, found by a scan (which reads the
// lattice in order, where the lanes from their start would visit every site
// that another neighbour field would leave unstable, each far from the
// last), in the order their avalanches start; a large lattice in pieces on
// the run's threads.
void StableRelaxation::GatherUnstable(bool up, double H) {
  const std::int8_t spin = up ? -1 : 1;
  const std::size_t sites = spins_.size();
  const auto gather = [&](std::size_t begin, std::size_t end, std::vector<std::uint32_t>& found,
                          const std::function<void()>& working) {
    for (std::size_t s = begin; s < end; ++s) {
      if (s % SortedFlipFields::kWorkingEvery == 0 && working) working();
      if (spins_[s] == spin && Unstable(s, H)) found.push_back(static_cast<std::uint32_t>(s));
    }
  };
  if (threads_ < 2 || sites <= kSortedAlone) {
    gather(0, sites, pending_, working_);
  } else {
    const std::size_t piece = kSortedAlone, pieces = (sites + piece - 1) / piece;
    std::vector<std::vector<std::uint32_t>> found(pieces);
    WorkerPool team(threads_);
    TakeInTurn(team, pieces, working_, [&](std::size_t k, const std::function<void()>& working) {
      gather(k * piece, std::min(sites, (k + 1) * piece), found[k], working);
    });
    for (const auto& f : found) pending_.insert(pending_.end(), f.begin(), f.end());
  }
  OrderPending(up, false);
}

std::optional<double> StableRelaxation::NextAvalancheField(Branch branch, double from, double limit) {
  if (!events_) throw std::logic_error("the field moves by avalanches only with flip fields");
  if (MayOverflow(from) || MayOverflow(limit)) throw EOverflow();
  const bool up = branch == Branch::Ascending;
  if (!settled_ || lanesWay_ != (up ? 1 : -1)) {
    PlaceLanes(up, from);
    at_ = from;
    if (!settled_) GatherUnstable(up, from);
    settled_ = true;
  }
  if (PendingDue(from)) return from;
  std::optional<SortedFlipFields::Head> head;
  double H = from;
  for (;;) {
    head = lanes_.Top();
    if (!head) return std::nullopt;
    H = up ? std::max(head->field, from) : std::min(head->field, from);
    if (up ? H > limit : H < limit) return std::nullopt;
    if (HeadDue(*head)) break;
    PopHead();
  }
  pending_.clear();
  pendingNext_ = 0;
  bool tied = true;
  TakeReached(H, [&](const SortedFlipFields::Head& h) {
    pending_.push_back(h.site);
    tied = tied && h.field == H;
  });
  OrderPending(up, tied);
  at_ = H;
  return H;
}

std::int64_t StableRelaxation::Avalanche(double H, Branch) {
  StartRelaxation();
  if (!events_ || !settled_ || lanesWay_ == 0) throw std::logic_error("an avalanche follows NextAvalancheField");
  if (PendingDue(H)) AvalancheFrom(pending_[pendingNext_++], H);
  return flips_;
}

}  // namespace ebsim
