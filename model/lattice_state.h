#pragma once
// The lattice state shared by the runs: seven site maps over a square block
// of side at most 300, the side, and the scalars of the runs. One state is
// allocated for the program's life; cells outside a run's block keep what
// earlier runs left there.

#include <array>
#include <memory>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/edge_rule.h"
#include "model/loop_crossings.h"

namespace ebsim {

inline constexpr int kMaxSide = 300;

// 300 x 300 doubles indexed [i][j] from 1 to 300, i the row, all zero at
// first. The memory comes zeroed from the system and is taken only where
// it is written, so a small block costs what the block costs.
class SiteMap {
 public:
  SiteMap();
  SiteMap(const SiteMap& other);
  SiteMap& operator=(const SiteMap& other);

  double& operator()(int i, int j) { return cells_.get()[Index(i, j)]; }
  double operator()(int i, int j) const { return cells_.get()[Index(i, j)]; }
  // Row i, indexed by j from 1.
  double* Row(int i) { return cells_.get() + Index(i, 1) - 1; }
  const double* Row(int i) const { return cells_.get() + Index(i, 1) - 1; }

  // Sets the block 1..n x 1..n to v.
  void FillBlock(int n, double v);

 private:
  static constexpr std::size_t Index(int i, int j) {
    return static_cast<std::size_t>(i - 1) * kMaxSide + static_cast<std::size_t>(j - 1);
  }
  static constexpr std::size_t kCells = static_cast<std::size_t>(kMaxSide) * kMaxSide;
  struct Release {
    void operator()(double* cells) const;
  };
  std::unique_ptr<double, Release> cells_;
};

// A map over the block 1..n x 1..n alone, for values a run keeps only while
// it lasts; it costs what the block costs.
class BlockMap {
 public:
  explicit BlockMap(int n) : n_(n), cells_(static_cast<std::size_t>(n > 0 ? n * n : 0)) {}
  double& operator()(int i, int j) { return cells_[Index(i, j)]; }
  double operator()(int i, int j) const { return cells_[Index(i, j)]; }

 private:
  std::size_t Index(int i, int j) const { return static_cast<std::size_t>((i - 1) * n_ + (j - 1)); }
  int n_;
  std::vector<double> cells_;
};

struct LatticeState {
  SiteMap SpinMap;            // spin S(i,j): +1, -1, or 0 before any set-up
  SiteMap ExchangeMap;        // exchange constant J(i,j) carried by the site
  SiteMap QrfMap;             // quenched random field h(i,j)
  SiteMap FmEnergyMap;        // initial exchange energy S(i,j) * sum J(n) S(n)
  SiteMap NeighbourFieldMap;  // exchange field from the neighbours, sum J(n) S(n)
  SiteMap PrevLocalFieldMap;  // local field at the site's previous visit
  SiteMap LocalFieldMap;      // local field at the site's latest visit

  // Set-up runs.
  std::int32_t LatticeSize = 0;
  std::int32_t EnhancedSiteCount = 0;
  double QrfStandardDeviation = 0;

  // Hysteresis run.
  double InitialField = 0;
  double AppliedField = 0;
  double MinMagnetization = 0;
  double MaxMagnetization = 0;
  double PrevMagnetizationDown = 0;
  double DownCrossingField = 0;
  double PrevMagnetizationUp = 0;
  double UpCrossingField = 0;
  // The two crossings the E-B shift and coercivity of this Run were last
  // reckoned from; none while they are blank.
  std::optional<LoopCrossings> ReadoutCrossings;
  std::int32_t PlusSpinCount = 0;
  std::int32_t MinusSpinCount = 0;
};

// Whether the side is one the lattice can hold.
constexpr bool IsValidSide(std::int64_t n) { return n >= 1 && n <= kMaxSide; }

// The block filled by the edge rule (engine/edge_rule.h), in row-major
// order: a computed cell gets compute(i, j), every other cell a copy of the
// cell it repeats, which is always filled already. after(i, j) runs right
// after each cell is set.
template <class Map, class Compute, class After>
void EdgeCopyFill(int n, Map& map, Compute&& compute, After&& after) {
  const EdgeRule rule(n);
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const Cell source = rule.Source(i, j);
      map(i, j) = rule.Computed(i, j) ? compute(i, j) : map(source.i, source.j);
      after(i, j);
    }
  }
}

template <class Map, class Compute>
void EdgeCopyFill(int n, Map& map, Compute&& compute) {
  EdgeCopyFill(n, map, compute, [](int, int) {});
}

}  // namespace ebsim
