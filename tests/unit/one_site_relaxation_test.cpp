// The one-site relaxation, the tests' yardstick for the engines, against
// the literal full recomputation, pass by pass: the same spins, local fields
// and neighbour fields to the bit, and the same overflows at the same visit.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/one_site_relaxation.h"
#include "tests/reference_relaxation.h"
#include "tests/unit/run_fixture.h"

using namespace ebsim;

namespace {

// Up to this side plus a margin of cells outside the block are filled, the
// margin with values that would show if the engine read them.
constexpr int kMaxRandomSide = 12;
constexpr int kFilled = kMaxRandomSide + 2;

enum class Exchange { Nice, Dyadic, Arbitrary, Wide, Huge };
enum class Spins { Up, Random, Unset };
enum class Fields { Zero, Whole, Arbitrary, Huge };

struct RandomLattice {
  int n;
  Exchange exchange;
  Spins spins;
  Fields fields;
};

// Fills the cells up to kFilled x kFilled from the generator: the block
// from the kinds asked for, the rest with stray values.
void Fill(std::mt19937_64& rng, const RandomLattice& c, LatticeState& s) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double dilution = unit(rng);
  auto exchange = [&]() -> double {
    const double u = unit(rng);
    switch (c.exchange) {
      case Exchange::Nice: return u < dilution ? 10.0 : 1.0;
      case Exchange::Dyadic: return u < 0.25 ? 0.5 : u < 0.5 ? -3.0 : u < 0.6 ? 0.0 : u < 0.8 ? 2.0 : 1.0;
      case Exchange::Arbitrary: return u < dilution ? 0.1 : u < 0.8 ? 1.0 : unit(rng) * 15 - 3;
      // Magnitudes far apart: the order of the terms shows in the rounding.
      case Exchange::Wide: return std::ldexp(u < 0.5 ? 1 + unit(rng) : -1 - unit(rng), static_cast<int>(unit(rng) * 80) - 40);
      case Exchange::Huge: return u < 0.5 ? 5e307 : u < 0.7 ? -6e307 : 1.0;
    }
    return 1.0;
  };
  auto spin = [&]() -> double {
    switch (c.spins) {
      case Spins::Up: return 1.0;
      case Spins::Random: return unit(rng) < 0.5 ? 1.0 : -1.0;
      case Spins::Unset: return 0.0;
    }
    return 1.0;
  };
  auto field = [&](int i, int j) -> double {
    const double u = unit(rng);
    switch (c.fields) {
      case Fields::Zero: return 0.0;
      case Fields::Whole: return std::floor(u * 5) - 2;
      case Fields::Arbitrary: return u < 0.2 ? 0.0 : (unit(rng) - 0.5) * 8;
      // Only away from the edges, where the passes take their fast way.
      case Fields::Huge: return i == 1 || j == 1 || i == c.n || j == c.n ? 0.0 : u < 0.5 ? 1.7e308 : -1.7e308;
    }
    return 0.0;
  };
  for (int i = 1; i <= kFilled; ++i) {
    for (int j = 1; j <= kFilled; ++j) {
      const bool inside = i <= c.n && j <= c.n;
      s.ExchangeMap(i, j) = inside ? exchange() : 1e6 + i;
      s.SpinMap(i, j) = inside ? spin() : 7.0;
      s.QrfMap(i, j) = inside ? field(i, j) : -1e6;
      s.NeighbourFieldMap(i, j) = inside ? unit(rng) : 12345.0;
      s.PrevLocalFieldMap(i, j) = inside ? unit(rng) : 23456.0;
      s.LocalFieldMap(i, j) = inside ? unit(rng) : 34567.0;
    }
  }
}

// Compares the engine's lattice with the reference's over the filled
// cells: spins and both local fields bit for bit everywhere, the neighbour
// field at every cell of the block as it stood after the cell's visit and

OneSiteRelaxation OneSiteOf(const LatticeState& s, int n) {
  std::vector<double> J, q, S;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      J.push_back(s.ExchangeMap(i, j));
      q.push_back(s.QrfMap(i, j));
      S.push_back(s.SpinMap(i, j));
    }
  return OneSiteRelaxation(n, J, q, S);
}

// Spins and both local fields bit for bit, and the neighbour field of every
// site as it stood after the site's visit.
::testing::AssertionResult SameState(const OneSiteRelaxation& oneSite, const LatticeState& ref,
                                     const ReferenceRelaxation& reference, int n) {
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const std::pair<const char*, std::pair<double, double>> cells[] = {
          {"spin", {oneSite.Spin(i, j), ref.SpinMap(i, j)}},
          {"previous local field", {oneSite.PreviousField(i, j), ref.PrevLocalFieldMap(i, j)}},
          {"local field", {oneSite.LatestField(i, j), ref.LocalFieldMap(i, j)}},
          {"neighbour field", {oneSite.NeighbourField(i, j), reference.VisitedNeighbourField()(i, j)}},
      };
      for (const auto& [name, values] : cells) {
        if (Bits(values.first) != Bits(values.second))
          return ::testing::AssertionFailure() << name << "(" << i << "," << j << ") is " << values.first
                                               << " instead of " << values.second;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(OneSiteRelaxationTest, MatchesTheFullRecomputation) {
  std::mt19937_64 rng(20240611);
  auto refState = std::make_unique<LatticeState>();
  const double wholeFields[] = {3.0, 2.0, 1.0, 0.0, -1.0, -2.0};
  int passes = 0, passesWithReversals = 0, zeroProducts = 0, faults = 0;
  int casesOfKind[5] = {};
  for (int k = 0; k < 700; ++k) {
    RandomLattice c{};
    c.n = std::uniform_int_distribution<int>(1, kMaxRandomSide)(rng);
    const int e = std::uniform_int_distribution<int>(0, 19)(rng);
    c.exchange = e < 6   ? Exchange::Nice
                 : e < 10 ? Exchange::Dyadic
                 : e < 15 ? Exchange::Arbitrary
                 : e < 19 ? Exchange::Wide
                          : Exchange::Huge;
    const int sp = std::uniform_int_distribution<int>(0, 9)(rng);
    c.spins = sp < 4 ? Spins::Up : sp < 9 ? Spins::Random : Spins::Unset;
    const int f = std::uniform_int_distribution<int>(0, 29)(rng);
    c.fields = f < 8 ? Fields::Zero : f < 16 ? Fields::Whole : f < 29 ? Fields::Arbitrary : Fields::Huge;
    ++casesOfKind[static_cast<int>(c.exchange)];

    std::mt19937_64 fillEngine(rng());
    Fill(fillEngine, c, *refState);

    // Applied fields: whole ones (with whole constants and fields they give
    // exact zeros) or any; with enormous random fields sometimes enormous
    // too, so that their sum leaves the double range.
    std::uniform_real_distribution<double> any(-4.0, 4.0);
    auto nextField = [&] {
      const int pick = std::uniform_int_distribution<int>(0, 5)(rng);
      if (c.fields == Fields::Huge && pick == 0) return rng() % 2 ? 1.5e308 : -1.5e308;
      return pick > 1 ? wholeFields[rng() % std::size(wholeFields)] : any(rng);
    };
    SCOPED_TRACE("case " + std::to_string(k) + " side " + std::to_string(c.n));
    OneSiteRelaxation oneSite = OneSiteOf(*refState, c.n);
    ReferenceRelaxation reference(*refState, c.n);
    const double h0 = nextField();
    const std::string oneSiteInit = ErrorMessageOf([&] { oneSite.InitLocalFields(h0); });
    const std::string refInit = ErrorMessageOf([&] { reference.InitLocalFields(h0); });
    ASSERT_EQ(oneSiteInit, refInit);
    if (!refInit.empty()) {
      ++faults;
      continue;
    }
    ASSERT_TRUE(SameState(oneSite, *refState, reference, c.n)) << "initial pass";
    const int count = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int p = 0; p < count; ++p) {
      const Branch branch = rng() % 2 ? kUp : kDown;
      const double H = nextField();
      for (int i = 1; i <= c.n; ++i)
        for (int j = 1; j <= c.n; ++j)
          zeroProducts += refState->PrevLocalFieldMap(i, j) * refState->LocalFieldMap(i, j) == 0;
      const double before = reference.SpinTotal();
      const std::string oneSiteError = ErrorMessageOf([&] { oneSite.Relax(H, branch); });
      const std::string refError = ErrorMessageOf([&] { reference.Relax(H, branch); });
      ASSERT_EQ(oneSiteError, refError) << "pass " << p;
      ASSERT_TRUE(SameState(oneSite, *refState, reference, c.n)) << "pass " << p << " at H = " << H;
      if (!refError.empty()) {
        ++faults;
        break;
      }
      ASSERT_EQ(static_cast<double>(oneSite.SpinSum()), reference.SpinTotal()) << "pass " << p;
      passesWithReversals += before != reference.SpinTotal();
      ++passes;
    }
  }
  // The lattices were varied enough to mean something.
  EXPECT_GT(passes, 2000);
  EXPECT_GT(passesWithReversals, 300);
  EXPECT_GT(zeroProducts, 1000);
  EXPECT_GT(faults, 5);
  for (int kind : casesOfKind) EXPECT_GT(kind, 20);
}

}  // namespace
