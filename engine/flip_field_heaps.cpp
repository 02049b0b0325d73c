#include "engine/flip_field_heaps.h"

#include <stdexcept>

namespace ebsim {

void FlipFieldHeaps::Reset(std::size_t sites) {
  if (sites >= kNone) throw std::invalid_argument("the flip fields hold fewer than 2^32 - 1 sites");
  field_.assign(sites, 0.0);
  position_.assign(sites, kNone);
  in_.assign(sites, 0);
  // Each heap may come to hold every site: reserved once, so that neither
  // grows by doubling past the sites.
  down_.clear();
  up_.clear();
  down_.reserve(sites);
  up_.reserve(sites);
}

void FlipFieldHeaps::Set(std::size_t s, std::int8_t spin, double field) {
  const std::uint32_t site = static_cast<std::uint32_t>(s);
  if (in_[s] != spin) {
    if (in_[s] != 0) Remove(in_[s] > 0 ? down_ : up_, in_[s] > 0, site);
    field_[s] = field;
    in_[s] = spin;
    if (spin != 0) Insert(spin > 0 ? down_ : up_, spin > 0, site);
    return;
  }
  if (spin == 0 || field_[s] == field) return;
  field_[s] = field;
  Restore(spin > 0 ? down_ : up_, spin > 0, position_[s]);
}

inline bool FlipFieldHeaps::Before(bool down, std::uint32_t a, std::uint32_t b) const {
  const double fa = field_[a], fb = field_[b];
  if (fa != fb) return down ? fa > fb : fa < fb;
  return a < b;
}

inline void FlipFieldHeaps::Place(std::vector<std::uint32_t>& heap, std::size_t at, std::uint32_t s) {
  heap[at] = s;
  position_[s] = static_cast<std::uint32_t>(at);
}

void FlipFieldHeaps::Insert(std::vector<std::uint32_t>& heap, bool down, std::uint32_t s) {
  heap.push_back(s);
  position_[s] = static_cast<std::uint32_t>(heap.size() - 1);
  SiftUp(heap, down, heap.size() - 1);
}

void FlipFieldHeaps::Remove(std::vector<std::uint32_t>& heap, bool down, std::uint32_t s) {
  const std::size_t at = position_[s];
  position_[s] = kNone;
  const std::uint32_t last = heap.back();
  heap.pop_back();
  if (at == heap.size()) return;
  Place(heap, at, last);
  Restore(heap, down, at);
}

void FlipFieldHeaps::Restore(std::vector<std::uint32_t>& heap, bool down, std::size_t at) {
  if (!SiftUp(heap, down, at)) SiftDown(heap, down, at);
}

bool FlipFieldHeaps::SiftUp(std::vector<std::uint32_t>& heap, bool down, std::size_t at) {
  const std::uint32_t s = heap[at];
  const std::size_t start = at;
  while (at > 0) {
    const std::size_t parent = (at - 1) / 2;
    if (!Before(down, s, heap[parent])) break;
    Place(heap, at, heap[parent]);
    at = parent;
  }
  Place(heap, at, s);
  return at != start;
}

void FlipFieldHeaps::SiftDown(std::vector<std::uint32_t>& heap, bool down, std::size_t at) {
  const std::uint32_t s = heap[at];
  const std::size_t size = heap.size();
  while (true) {
    std::size_t child = 2 * at + 1;
    if (child >= size) break;
    if (child + 1 < size && Before(down, heap[child + 1], heap[child])) ++child;
    if (!Before(down, heap[child], s)) break;
    Place(heap, at, heap[child]);
    at = child;
  }
  Place(heap, at, s);
}

}  // namespace ebsim
