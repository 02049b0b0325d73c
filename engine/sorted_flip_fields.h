#pragma once
// Every site's flip field in order, with nothing kept per site but its
// place in one list: the sorted lists of Kuntz, Perkovic, Dahmen, Roberts
// and Sethna ("Hysteresis, avalanches, and noise: numerical methods",
// Computing in Science and Engineering, 1999).
//
// Sites whose neighbour fields can take the same values (the same
// constants in the same summation order, the same neighbours of spin 0)
// share a type, and the list holds each type's sites together, by random
// field. A lane is a type with one value F of its neighbour field: with F
// fixed, the flip field falls as the random field rises (engine/flip_field.h),
// so walking a type's sites from the highest random field down meets their
// up fields with F in rising order, and from the lowest up their down fields
// in falling order. A lane's cursor stands at the first site the field has
// not reached yet; the heads of all lanes are ordered, and the next flip
// field on the way is the first head's. A head is a site's only where it
// holds the spin that lane flips and has that F now: the caller checks
// that, and passes the others by. A site that takes on F after its place in
// the lane was passed is unstable at once, and so found by the avalanche
// that gave it F.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/flip_field.h"
#include "engine/worker_pool.h"

namespace ebsim {

// It reads the random fields where Reset was told they are, so it moves with its owner but is never copied.
class SortedFlipFields {
 public:
  SortedFlipFields() = default;
  SortedFlipFields(SortedFlipFields&&) = default;
  SortedFlipFields& operator=(SortedFlipFields&&) = default;
  SortedFlipFields(const SortedFlipFields&) = delete;
  SortedFlipFields& operator=(const SortedFlipFields&) = delete;

  // A lane: the list's places [begin, end), with neighbour field F.
  struct Lane {
    double F = 0;
    std::size_t begin = 0, end = 0;
  };
  struct Head {
    double field;
    std::uint32_t site;
    double F;
  };

  // order: the sites, each type's together and by (random field, site);
  // q: the random fields by site, kept by the caller.
  void Reset(const double* q, std::vector<std::uint32_t> order, std::vector<Lane> lanes);

  // Every lane's cursor set for the way up (-1 spins, the up fields) or down
  // (+1 spins, the down fields): past the places whose flip field `at`
  // reaches, or at the start where there is none.
  void Place(bool up, std::optional<double> at);
  bool Up() const { return up_; }

  // The head with the first flip field on the way; none when every lane is
  // done.
  std::optional<Head> Top() const;
  // The first head passed: its lane's cursor moved on, past every site
  // `never` tells can no longer be due in this placement; `soon` is told
  // the site kAhead places on in the lane from each place passed, so that
  // the owner can ask for its state before the lane reaches it (the sites
  // lie all over the lattice: each one read waits on memory otherwise).
  template <class Never, class Soon>
  void Pop(Never&& never, Soon&& soon);
  void Pop() {
    Pop([](std::uint32_t) { return false; }, [](std::uint32_t) {});
  }
  static constexpr std::size_t kAhead = 8;

  // How many sites long work goes through between calls to its `working`.
  static constexpr std::uint32_t kWorkingEvery = std::uint32_t{1} << 20;

  // The sites first..last (of q) ordered by (q, site), holding no more than
  // `chunk` of them as (q, site) pairs per thread at a time; `working` is
  // called (on the calling thread) every kWorkingEvery sites moved and after
  // each bucket, and may throw to end it. With a `team`, its members sort
  // the first split's buckets.
  static void SortByField(std::uint32_t* first, std::uint32_t* last, const double* q,
                          const std::function<void()>& working = {}, std::size_t chunk = std::size_t{1} << 20,
                          WorkerPool* team = nullptr);

 private:
  struct Item {
    double field;
    std::uint32_t lane;
  };
  static void SortInBuckets(std::uint32_t* first, std::uint32_t* last, const double* q,
                            const std::function<void()>& working, std::size_t chunk, int depth, WorkerPool* team);
  std::size_t At(std::uint32_t lane, std::size_t passed) const;
  double FieldAt(std::uint32_t lane, std::size_t passed) const;
  bool Reached(double field, double at) const { return up_ ? field <= at : field >= at; }
  bool Before(const Item& a, const Item& b) const;
  void SiftDown(std::size_t k);

  const double* q_ = nullptr;
  std::vector<std::uint32_t> order_;
  std::vector<Lane> lanes_;
  std::vector<std::size_t> passed_;
  // The lanes not done, first head on top.
  std::vector<Item> heap_;
  bool up_ = true;
};

inline std::size_t SortedFlipFields::At(std::uint32_t lane, std::size_t passed) const {
  const Lane& l = lanes_[lane];
  return up_ ? l.end - 1 - passed : l.begin + passed;
}

inline double SortedFlipFields::FieldAt(std::uint32_t lane, std::size_t passed) const {
  return FlipFieldOf(up_ ? -1 : 1, lanes_[lane].F, q_[order_[At(lane, passed)]]);
}

template <class Never, class Soon>
inline void SortedFlipFields::Pop(Never&& never, Soon&& soon) {
  Item& top = heap_.front();
  const Lane& lane = lanes_[top.lane];
  const std::size_t size = lane.end - lane.begin;
  std::size_t& passed = passed_[top.lane];
  const auto next = [&] {
    ++passed;
    if (passed + kAhead < size) {
      const std::uint32_t site = order_[At(top.lane, passed + kAhead)];
      __builtin_prefetch(q_ + site);
      soon(site);
    }
    return passed < size;
  };
  while (next() && never(order_[At(top.lane, passed)])) {
  }
  if (passed == size) {
    top = heap_.back();
    heap_.pop_back();
  } else {
    top.field = FieldAt(top.lane, passed);
  }
  if (!heap_.empty()) SiftDown(0);
}

}  // namespace ebsim
