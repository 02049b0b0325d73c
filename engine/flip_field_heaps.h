#pragma once
// Every site's flip field, ordered: the field at which its spin turns
// unstable next, with the neighbours it has now. A +1 spin turns unstable
// on the way down, at its down field d (unstable at every H <= d); a -1
// spin on the way up, at its up field u (unstable at every H >= u). The +1
// sites stand in a heap with the highest d on top, the -1 sites in one with
// the lowest u on top; between equal fields the lower site index comes
// first. A spin 0 stands in neither.
//
// Both heaps share one array of (field, site) entries, a site standing in
// one at most: the +1 heap from the front, the -1 heap from the back. A
// comparison reads the two entries it compares and nothing else, and a
// node's children lie side by side.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ebsim {

class FlipFieldHeaps {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // sites: fewer than 2^31 - 1. Both heaps empty.
  void Reset(std::size_t sites);
  // Site s with this spin and flip field, moved to the spin's heap (or out
  // of both for a spin 0).
  void Set(std::size_t s, std::int8_t spin, double field);

  // The top of the +1 heap (highest down field) and of the -1 heap (lowest
  // up field); kNone when empty.
  std::uint32_t TopDown() const { return downSize_ == 0 ? kNone : Slot(true, 0).site; }
  std::uint32_t TopUp() const { return upSize_ == 0 ? kNone : Slot(false, 0).site; }
  // The flip field of a site in either heap.
  double Field(std::size_t s) const { return Slot(IsUp(place_[s]) == 0, Index(place_[s])).field; }

 private:
  struct Entry {
    double field;
    std::uint32_t site;
  };
  // A site's place: kNone outside both heaps, else its index in its heap
  // with the top bit set for the -1 heap.
  static constexpr std::uint32_t kUpBit = std::uint32_t{1} << 31;
  static std::uint32_t IsUp(std::uint32_t place) { return place & kUpBit; }
  static std::size_t Index(std::uint32_t place) { return place & ~kUpBit; }

  Entry& Slot(bool down, std::size_t k) { return down ? entries_[k] : entries_[entries_.size() - 1 - k]; }
  const Entry& Slot(bool down, std::size_t k) const {
    return down ? entries_[k] : entries_[entries_.size() - 1 - k];
  }
  std::size_t& SizeOf(bool down) { return down ? downSize_ : upSize_; }
  // Whether entry a comes before entry b in that heap.
  static bool Before(bool down, const Entry& a, const Entry& b) {
    if (a.field != b.field) return down ? a.field > b.field : a.field < b.field;
    return a.site < b.site;
  }
  void Insert(bool down, Entry e);
  void Remove(bool down, std::size_t at);
  void Restore(bool down, std::size_t at);
  bool SiftUp(bool down, std::size_t at);
  void SiftDown(bool down, std::size_t at);
  void Place(bool down, std::size_t at, const Entry& e);

  std::vector<Entry> entries_;
  std::vector<std::uint32_t> place_;
  std::size_t downSize_ = 0, upSize_ = 0;
};

}  // namespace ebsim
