#pragma once
// Every site's flip field, ordered: the field at which its spin turns
// unstable next, with the neighbours it has now. A +1 spin turns unstable
// on the way down, at its down field d (unstable at every H <= d); a -1
// spin on the way up, at its up field u (unstable at every H >= u). The +1
// sites stand in a heap with the highest d on top, the -1 sites in one with
// the lowest u on top; between equal fields the lower site index comes
// first. A spin 0 stands in neither.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ebsim {

class FlipFieldHeaps {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // sites: fewer than 2^32 - 1. Both heaps empty.
  void Reset(std::size_t sites);
  // Site s with this spin and flip field, moved to the spin's heap (or out
  // of both for a spin 0).
  void Set(std::size_t s, std::int8_t spin, double field);

  // The top of the +1 heap (highest down field) and of the -1 heap (lowest
  // up field); kNone when empty.
  std::uint32_t TopDown() const { return down_.empty() ? kNone : down_.front(); }
  std::uint32_t TopUp() const { return up_.empty() ? kNone : up_.front(); }
  double Field(std::size_t s) const { return field_[s]; }

 private:
  // The heap of the +1 sites (descending) or of the -1 sites.
  void Insert(std::vector<std::uint32_t>& heap, bool down, std::uint32_t s);
  void Remove(std::vector<std::uint32_t>& heap, bool down, std::uint32_t s);
  void Restore(std::vector<std::uint32_t>& heap, bool down, std::size_t at);
  bool SiftUp(std::vector<std::uint32_t>& heap, bool down, std::size_t at);
  void SiftDown(std::vector<std::uint32_t>& heap, bool down, std::size_t at);
  // Whether site a comes before site b in that heap.
  bool Before(bool down, std::uint32_t a, std::uint32_t b) const;
  void Place(std::vector<std::uint32_t>& heap, std::size_t at, std::uint32_t s);

  std::vector<double> field_;
  // Each site's place in its heap; kNone outside both. Its heap is that of
  // its spin.
  std::vector<std::uint32_t> position_;
  std::vector<std::int8_t> in_;  // +1, -1 or 0 (neither)
  std::vector<std::uint32_t> down_, up_;
};

}  // namespace ebsim
