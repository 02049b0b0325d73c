#include "engine/sorted_flip_fields.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

namespace ebsim {

namespace {

// Buckets of a large stretch, split at random fields drawn from it: about
// 16 for each chunk's worth, so that hardly any outgrows a chunk (the gaps
// between sampled fields vary), and no more than 256, so that the places
// the sites move to, each bucket's next, stay few enough for the caches;
// a bucket that outgrows a chunk is split again, up to this deep.
constexpr std::size_t kBuckets = 256;
constexpr int kSplits = 4;
// The largest bucket moved into its own buckets through a copy.
constexpr std::size_t kCopied = std::size_t{1} << 23;

bool Earlier(const double* q, std::uint32_t a, std::uint32_t b) { return q[a] < q[b] || (q[a] == q[b] && a < b); }

// A field's bits as an unsigned key in the fields' order, both zeros one
// key (they compare equal); no NaN comes here.
std::uint64_t OrderedKey(double x) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x == 0 ? 0.0 : x);
  return bits >> 63 ? ~bits : bits | std::uint64_t{1} << 63;
}

struct KeyedSite {
  std::uint64_t key;
  std::uint32_t site;
};

// The same order by the keys' bytes, lowest first, each pass stable (a
// byte all keys share is skipped), then each run of equal keys by site:
// a few streaming passes where the comparison sort takes some twenty.
void RadixSortAsPairs(std::uint32_t* first, std::uint32_t* last, const double* q) {
  const std::size_t count = static_cast<std::size_t>(last - first);
  std::vector<KeyedSite> pairs(count), moved(count);
  std::vector<std::array<std::size_t, 256>> counts(8, std::array<std::size_t, 256>{});
  for (std::size_t k = 0; k < count; ++k) {
    pairs[k] = {OrderedKey(q[first[k]]), first[k]};
    for (int b = 0; b < 8; ++b) ++counts[b][(pairs[k].key >> (8 * b)) & 255];
  }
  for (int b = 0; b < 8; ++b) {
    std::array<std::size_t, 256>& next = counts[b];
    if (std::find(next.begin(), next.end(), count) != next.end()) continue;
    std::size_t sum = 0;
    for (std::size_t& c : next) sum += std::exchange(c, sum);
    for (const KeyedSite& p : pairs) moved[next[(p.key >> (8 * b)) & 255]++] = p;
    pairs.swap(moved);
  }
  for (std::size_t k = 0, end; k < count; k = end) {
    for (end = k + 1; end < count && pairs[end].key == pairs[k].key;) ++end;
    if (end - k > 1)
      std::sort(pairs.begin() + static_cast<std::ptrdiff_t>(k), pairs.begin() + static_cast<std::ptrdiff_t>(end),
                [](const KeyedSite& a, const KeyedSite& b) { return a.site < b.site; });
  }
  for (std::size_t k = 0; k < count; ++k) first[k] = pairs[k].site;
}

// Below this many sites the comparison sort is the faster.
constexpr std::ptrdiff_t kRadixFrom = 1024;

void SortAsPairs(std::uint32_t* first, std::uint32_t* last, const double* q) {
  if (last - first >= kRadixFrom) return RadixSortAsPairs(first, last, q);
  std::vector<std::pair<double, std::uint32_t>> pairs;
  pairs.reserve(static_cast<std::size_t>(last - first));
  for (const std::uint32_t* s = first; s != last; ++s) pairs.emplace_back(q[*s], *s);
  std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
    return a.first < b.first || (a.first == b.first && a.second < b.second);
  });
  for (std::size_t k = 0; k < pairs.size(); ++k) first[k] = pairs[k].second;
}

// How many of the sorted bounds lie at or below x (upper_bound's index),
// by halving without a branch on the comparisons: random fields would
// mispredict every other one.
std::size_t AtOrBelow(const std::vector<double>& bounds, double x) {
  if (bounds.empty()) return 0;
  const double* base = bounds.data();
  for (std::size_t n = bounds.size(); n > 1;) {
    const std::size_t half = n / 2;
    base = base[half] <= x ? base + half : base;
    n -= half;
  }
  return static_cast<std::size_t>(base - bounds.data()) + (*base <= x ? 1 : 0);
}

// Each site moved to its bucket in place, the buckets in order; returns
// where each ends. Every move waits on the random field the last one read;
// the field of the site a bucket gives up next is asked for as soon as it
// is known, a bucket's turn coming round again only after many moves.
template <class Bucket>
std::vector<std::size_t> MoveToBuckets(std::uint32_t* first, std::uint32_t* last, const double* q,
                                       std::size_t buckets, Bucket&& bucket, const std::function<void()>& working) {
  std::vector<std::size_t> next(buckets + 1, 0);
  for (const std::uint32_t* s = first; s != last; ++s) ++next[bucket(*s) + 1];
  for (std::size_t b = 1; b <= buckets; ++b) next[b] += next[b - 1];
  std::vector<std::size_t> stop(next.begin() + 1, next.end());
  std::uint32_t moved = 0;
  const auto ahead = [&](std::size_t t) {
    if (next[t] < stop[t]) __builtin_prefetch(q + first[next[t]]);
  };
  for (std::size_t b = 0; b < buckets; ++b) {
    while (next[b] < stop[b]) {
      if ((++moved & (SortedFlipFields::kWorkingEvery - 1)) == 0 && working) working();
      std::uint32_t s = first[next[b]];
      for (std::size_t t = bucket(s); t != b; t = bucket(s)) {
        std::swap(s, first[next[t]++]);
        ahead(t);
      }
      first[next[b]++] = s;
      ahead(b);
    }
  }
  return stop;
}

// The same through a copy (5 bytes a site): the random fields are read in
// one pass whose loads do not wait on each other, for a bucket of a large
// stretch, whose sites lie all over the lattice.
template <class Bucket>
std::vector<std::size_t> CopyToBuckets(std::uint32_t* first, std::uint32_t* last, std::size_t buckets,
                                       Bucket&& bucket) {
  const std::size_t count = static_cast<std::size_t>(last - first);
  std::vector<std::uint8_t> of(count);
  std::vector<std::size_t> next(buckets + 1, 0);
  for (std::size_t k = 0; k < count; ++k) {
    of[k] = static_cast<std::uint8_t>(bucket(first[k]));
    ++next[of[k] + 1];
  }
  for (std::size_t b = 1; b <= buckets; ++b) next[b] += next[b - 1];
  std::vector<std::size_t> stop(next.begin() + 1, next.end());
  std::vector<std::uint32_t> copy(count);
  for (std::size_t k = 0; k < count; ++k) copy[next[of[k]]++] = first[k];
  std::copy(copy.begin(), copy.end(), first);
  return stop;
}

}  // namespace

void SortedFlipFields::SortByField(std::uint32_t* first, std::uint32_t* last, const double* q,
                                   const std::function<void()>& working, std::size_t chunk, WorkerPool* team) {
  SortInBuckets(first, last, q, working, chunk, 0, team && team->Size() > 1 ? team : nullptr);
}

void SortedFlipFields::SortInBuckets(std::uint32_t* first, std::uint32_t* last, const double* q,
                                     const std::function<void()>& working, std::size_t chunk, int depth,
                                     WorkerPool* team) {
  const std::size_t count = static_cast<std::size_t>(last - first);
  if (count <= chunk) return SortAsPairs(first, last, q);
  if (std::all_of(first, last, [&](std::uint32_t s) { return q[s] == q[*first]; }))
    return std::sort(first, last);  // one field many times over: by site
  if (depth == kSplits)
    return std::sort(first, last, [q](std::uint32_t x, std::uint32_t y) { return Earlier(q, x, y); });
  // Bounds from an even sample, each site moved to its bucket (equal fields
  // share one), then each bucket sorted on its own.
  const std::size_t buckets = std::min({kBuckets, 16 * (count / std::max<std::size_t>(chunk, 1)) + 2, count});
  std::vector<double> bounds;
  for (std::size_t k = 1; k < buckets; ++k) bounds.push_back(q[first[k * (count / buckets)]]);
  std::sort(bounds.begin(), bounds.end());
  const auto bucket = [&](std::uint32_t s) { return AtOrBelow(bounds, q[s]); };
  const std::vector<std::size_t> stop =
      depth > 0 && count <= kCopied ? CopyToBuckets(first, last, buckets, bucket)
                                    : MoveToBuckets(first, last, q, buckets, bucket, working);
  const auto sortBucket = [&](std::size_t b, const std::function<void()>& told) {
    SortInBuckets(first + (b == 0 ? 0 : stop[b - 1]), first + stop[b], q, told, chunk, depth + 1, nullptr);
    if (told) told();
  };
  if (team) return TakeInTurn(*team, buckets, working, sortBucket);
  for (std::size_t b = 0; b < buckets; ++b) sortBucket(b, working);
}

void SortedFlipFields::Reset(const double* q, std::vector<std::uint32_t> order, std::vector<Lane> lanes) {
  q_ = q;
  order_ = std::move(order);
  lanes_ = std::move(lanes);
  passed_.assign(lanes_.size(), 0);
  heap_.clear();
}

inline bool SortedFlipFields::Before(const Item& a, const Item& b) const {
  if (a.field != b.field) return up_ ? a.field < b.field : a.field > b.field;
  return a.lane < b.lane;
}

void SortedFlipFields::Place(bool up, std::optional<double> at) {
  up_ = up;
  heap_.clear();
  for (std::uint32_t lane = 0; lane < lanes_.size(); ++lane) {
    const std::size_t size = lanes_[lane].end - lanes_[lane].begin;
    std::size_t low = 0, high = size;  // the first place `at` does not reach lies in [low, high]
    while (at && low < high) {
      const std::size_t mid = low + (high - low) / 2;
      if (Reached(FieldAt(lane, mid), *at))
        low = mid + 1;
      else
        high = mid;
    }
    passed_[lane] = low;
    if (low < size) heap_.push_back({FieldAt(lane, low), lane});
  }
  for (std::size_t k = heap_.size() / 2; k-- > 0;) SiftDown(k);
}

std::optional<SortedFlipFields::Head> SortedFlipFields::Top() const {
  if (heap_.empty()) return std::nullopt;
  const Item& top = heap_.front();
  return Head{top.field, order_[At(top.lane, passed_[top.lane])], lanes_[top.lane].F};
}

void SortedFlipFields::SiftDown(std::size_t k) {
  const Item item = heap_[k];
  for (;;) {
    std::size_t child = 2 * k + 1;
    if (child >= heap_.size()) break;
    if (child + 1 < heap_.size() && Before(heap_[child + 1], heap_[child])) ++child;
    if (!Before(heap_[child], item)) break;
    heap_[k] = heap_[child];
    k = child;
  }
  heap_[k] = item;
}

}  // namespace ebsim
