#include "engine/flip_field_heaps.h"

#include <stdexcept>

namespace ebsim {

namespace {
// Four children a node: half the levels of a binary heap, the children of
// a node read together.
constexpr std::size_t kArity = 4;
}  // namespace

void FlipFieldHeaps::Reset(std::size_t sites) {
  if (sites >= kUpBit - 1) throw std::invalid_argument("the flip fields hold fewer than 2^31 - 1 sites");
  entries_.assign(sites, Entry{0.0, kNone});
  place_.assign(sites, kNone);
  downSize_ = upSize_ = 0;
}

void FlipFieldHeaps::Set(std::size_t s, std::int8_t spin, double field) {
  const std::uint32_t place = place_[s];
  const bool down = spin > 0;
  const bool stays = place != kNone && spin != 0 && (IsUp(place) == 0) == down;
  if (!stays) {
    if (place != kNone) Remove(IsUp(place) == 0, Index(place));
    if (spin != 0) Insert(down, Entry{field, static_cast<std::uint32_t>(s)});
    return;
  }
  Entry& e = Slot(down, Index(place));
  if (e.field == field) return;
  e.field = field;
  Restore(down, Index(place));
}

inline void FlipFieldHeaps::Place(bool down, std::size_t at, const Entry& e) {
  Slot(down, at) = e;
  place_[e.site] = static_cast<std::uint32_t>(at) | (down ? 0 : kUpBit);
}

void FlipFieldHeaps::Insert(bool down, Entry e) {
  std::size_t& size = SizeOf(down);
  Place(down, size, e);
  SiftUp(down, size++);
}

void FlipFieldHeaps::Remove(bool down, std::size_t at) {
  std::size_t& size = SizeOf(down);
  place_[Slot(down, at).site] = kNone;
  const Entry last = Slot(down, --size);
  if (at == size) return;
  Place(down, at, last);
  Restore(down, at);
}

void FlipFieldHeaps::Restore(bool down, std::size_t at) {
  if (!SiftUp(down, at)) SiftDown(down, at);
}

bool FlipFieldHeaps::SiftUp(bool down, std::size_t at) {
  const Entry e = Slot(down, at);
  const std::size_t start = at;
  while (at > 0) {
    const std::size_t parent = (at - 1) / kArity;
    if (!Before(down, e, Slot(down, parent))) break;
    Place(down, at, Slot(down, parent));
    at = parent;
  }
  if (at != start) Place(down, at, e);
  return at != start;
}

void FlipFieldHeaps::SiftDown(bool down, std::size_t at) {
  const Entry e = Slot(down, at);
  const std::size_t size = SizeOf(down);
  const std::size_t start = at;
  while (true) {
    const std::size_t first = kArity * at + 1;
    if (first >= size) break;
    std::size_t child = first;
    for (std::size_t c = first + 1; c < first + kArity && c < size; ++c)
      if (Before(down, Slot(down, c), Slot(down, child))) child = c;
    if (!Before(down, Slot(down, child), e)) break;
    Place(down, at, Slot(down, child));
    at = child;
  }
  if (at != start) Place(down, at, e);
}

}  // namespace ebsim
