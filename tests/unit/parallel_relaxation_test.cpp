// The pass-at-a-time engine against the one-site relaxation and the literal
// full recomputation: the same spins after every pass and the same spin
// sums, on every instruction set this CPU runs, on teams of 1 to 7 threads
// and by the one-site evaluation alone; the same overflow errors at the same
// visit; and the field values it gives back as the one-site relaxation
// leaves them.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/parallel_relaxation.h"
#include "run/relaxation_inputs.h"
#include "tests/one_site_relaxation.h"
#include "tests/reference_relaxation.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

enum class Exchange { Nice, Dyadic, TwoInexact, Arbitrary, Big, Huge };
enum class Fields { Zero, Whole, Gaussian, Cancelling, Huge };
enum class Spins { Up, Random, Unset };

struct Lattice {
  int n = 0;
  std::vector<double> J, q, S;  // n x n, row by row
};

struct Pass {
  Branch branch;
  double H;
};

// The initial pass at schedule[0].H, then one pass per entry.
struct Schedule {
  double h0 = 0;
  std::vector<Pass> passes;
};

// Constants: Nice 1 or 10 (two values, exact sums); Dyadic five values
// (exact sums, held as doubles); TwoInexact 0.1 or 1 (two values, sums not
// exact); Arbitrary any; Big 2^40 or 1.5 * 2^40, where F + q needs more than
// 64 bits; Huge, where sums leave the double range.
double ExchangeOf(Exchange kind, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double u = unit(rng);
  switch (kind) {
    case Exchange::Nice: return u < 0.1 ? 10.0 : 1.0;
    case Exchange::Dyadic: return u < 0.25 ? 0.5 : u < 0.5 ? -3.0 : u < 0.6 ? 0.0 : u < 0.8 ? 2.0 : 1.0;
    case Exchange::TwoInexact: return u < 0.3 ? 0.1 : 1.0;
    case Exchange::Arbitrary: return u < 0.2 ? 0.1 : u < 0.6 ? 1.0 : unit(rng) * 15 - 3;
    case Exchange::Big: return u < 0.5 ? 0x1p40 : 0x1.8p40;
    case Exchange::Huge: return u < 0.5 ? 5e307 : u < 0.7 ? -6e307 : 1.0;
  }
  return 1.0;
}

// Random fields: Cancelling ones, -0.25 + k 2^-24 for |k| <= 40, with the
// applied fields m scale + 0.25 bring F + q + H within k 2^-24 of zero; with
// Big constants that is below the rounding of F + q to 64 bits for some k
// and above it for others, and always below its rounding to double.
double FieldOf(Fields kind, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 2.0);
  switch (kind) {
    case Fields::Zero: return 0.0;
    case Fields::Whole: return std::floor(unit(rng) * 5) - 2;
    case Fields::Gaussian: return unit(rng) < 0.1 ? 0.0 : gauss(rng);
    case Fields::Cancelling: return -0.25 + std::ldexp(static_cast<double>(rng() % 81) - 40, -24);
    case Fields::Huge: return unit(rng) < 0.5 ? 1.7e308 : -1.7e308;
  }
  return 0.0;
}

Lattice MakeLattice(std::mt19937_64& rng, int n, Exchange exchange, Fields fields, Spins spins) {
  Lattice L{n, {}, {}, {}};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int k = 0; k < n * n; ++k) {
    L.J.push_back(ExchangeOf(exchange, rng));
    L.q.push_back(FieldOf(fields, rng));
    L.S.push_back(spins == Spins::Unset ? 0.0 : spins == Spins::Up || unit(rng) < 0.5 ? 1.0 : -1.0);
  }
  return L;
}

// Whole multiples of the scale of the constants (exact zeros with whole
// constants and fields), the same plus 0.25 (for cancelling fields), any,
// and for Huge fields sometimes a huge one.
Schedule MakeSchedule(std::mt19937_64& rng, Exchange exchange, Fields fields, int count) {
  const double scale = exchange == Exchange::Big ? 0x1p40 : 1.0;
  std::uniform_real_distribution<double> any(-4.0, 4.0);
  auto next = [&] {
    const int pick = static_cast<int>(rng() % 8);
    const double m = static_cast<double>(static_cast<int>(rng() % 7) - 3);
    if (fields == Fields::Huge && pick == 0) return rng() % 2 ? 1.5e308 : -1.5e308;
    return pick < 3 ? m * scale : pick < 6 ? m * scale + 0.25 : any(rng);
  };
  Schedule s{next(), {}};
  for (int p = 0; p < count; ++p) s.passes.push_back({rng() % 2 ? Branch::Ascending : Branch::Descending, next()});
  return s;
}

// What an engine did: the spins after the initial pass and after every
// pass, each spin sum and count of reversed spins, and the error that ended
// it, if any, with the sites the failing pass had done with.
struct Trajectory {
  std::vector<std::vector<int>> spins;
  std::vector<std::int64_t> sums;
  std::vector<std::int64_t> flips;
  std::string error;
  std::size_t sitesDone = 0;
  bool operator==(const Trajectory&) const = default;
};

template <class Engine, class SpinsOf, class SumOf>
Trajectory Follow(Engine& engine, const Schedule& s, SpinsOf spinsOf, SumOf sumOf) {
  Trajectory t;
  t.error = ErrorMessageOf([&] { engine.InitLocalFields(s.h0); });
  t.spins.push_back(spinsOf());
  t.sums.push_back(sumOf());
  for (std::size_t p = 0; p < s.passes.size() && t.error.empty(); ++p) {
    t.error = ErrorMessageOf([&] { engine.Relax(s.passes[p].H, s.passes[p].branch); });
    t.spins.push_back(spinsOf());
    t.sums.push_back(sumOf());
    if constexpr (requires { engine.Flips(); }) t.flips.push_back(engine.Flips());
    if constexpr (requires { engine.SitesDone(); })
      if (!t.error.empty()) t.sitesDone = engine.SitesDone();
  }
  return t;
}

OneSiteRelaxation OneSiteOf(const Lattice& L) { return OneSiteRelaxation(L.n, L.J, L.q, L.S); }

Trajectory OneSiteTrajectory(OneSiteRelaxation& oneSite, const Schedule& s) {
  return Follow(oneSite, s, [&] { return oneSite.Spins(); }, [&] { return oneSite.SpinSum(); });
}

std::unique_ptr<LatticeState> StateOf(const Lattice& L) {
  auto state = std::make_unique<LatticeState>();
  for (int i = 1; i <= L.n; ++i) {
    for (int j = 1; j <= L.n; ++j) {
      const std::size_t k = static_cast<std::size_t>((i - 1) * L.n + (j - 1));
      state->ExchangeMap(i, j) = L.J[k];
      state->QrfMap(i, j) = L.q[k];
      state->SpinMap(i, j) = L.S[k];
    }
  }
  return state;
}

std::vector<int> BlockSpins(const LatticeState& state, int n) {
  std::vector<int> spins;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) spins.push_back(static_cast<int>(state.SpinMap(i, j)));
  return spins;
}

Trajectory ReferenceTrajectory(const Lattice& L, const Schedule& s) {
  auto state = StateOf(L);
  ReferenceRelaxation reference(*state, L.n);
  return Follow(reference, s, [&] { return BlockSpins(*state, L.n); },
                [&] { return static_cast<std::int64_t>(reference.SpinTotal()); });
}

// The engine's trajectory; each pass's changed rows, also those of a pass
// that raised, are checked against its spins on the way.
Trajectory CompactTrajectory(ParallelRelaxation& engine, const Schedule& s) {
  std::vector<std::vector<bool>> changed;
  auto spins = [&] {
    std::vector<int> v;
    std::vector<bool> rows;
    for (int i = 1; i <= engine.Side(); ++i) {
      for (int j = 1; j <= engine.Side(); ++j) v.push_back(engine.Spin(i, j));
      rows.push_back(engine.RowChanged(i));
    }
    changed.push_back(rows);
    return v;
  };
  const Trajectory t = Follow(engine, s, spins, [&] { return engine.SpinSum(); });
  const std::size_t n = static_cast<std::size_t>(engine.Side());
  for (std::size_t p = 1; p < t.spins.size(); ++p)
    for (std::size_t i = 0; i < n; ++i) {
      const auto row = [&](std::size_t q) { return std::vector<int>(t.spins[q].begin() + i * n, t.spins[q].begin() + (i + 1) * n); };
      EXPECT_EQ(changed[p][i], row(p) != row(p - 1)) << "pass " << p << " row " << i + 1;
    }
  return t;
}

// Ways the engine can be made to work, for the k-th lattice: each
// instruction set this CPU runs on one thread, one of them on a team of 2,
// 3 or 7 in turn, and the one-site evaluation alone on 1 or 3 threads.
std::vector<RelaxationOptions> PathsFor(int k) {
  std::vector<SimdLevel> levels;
  for (const SimdLevel level : {SimdLevel::Portable, SimdLevel::Avx2, SimdLevel::Avx512})
    if (SimdLevelSupported(level)) levels.push_back(level);
  std::vector<RelaxationOptions> paths;
  for (const SimdLevel level : levels) paths.push_back({1, level, false});
  const int teams[] = {2, 3, 7};
  paths.push_back({teams[k % 3], levels[static_cast<std::size_t>(k / 3) % levels.size()], false});
  paths.push_back({k % 2 ? 3 : 1, levels.back(), true});
  return paths;
}

std::string PathName(const RelaxationOptions& o) {
  return std::string(SimdLevelName(*o.simd)) + " x" + std::to_string(o.threads) + (o.exactSitesOnly ? " one-site" : "");
}

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The fields the engine gives back, bit for bit as the one-site relaxation
// leaves them.
::testing::AssertionResult SameFields(const ParallelRelaxation& engine, const OneSiteRelaxation& oneSite, int n) {
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      const SiteFieldValues v = engine.SiteFields(i, j);
      if (Bits(v.neighbour) != Bits(oneSite.NeighbourField(i, j)) ||
          Bits(v.previous) != Bits(oneSite.PreviousField(i, j)) || Bits(v.latest) != Bits(oneSite.LatestField(i, j)))
        return ::testing::AssertionFailure() << "fields of (" << i << "," << j << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(ParallelRelaxationTest, EveryPathFollowsTheOneSiteRelaxationOnSmallLattices) {
  struct Kind {
    Exchange exchange;
    Fields fields;
    Spins spins;
  };
  const Kind kinds[] = {
      {Exchange::Nice, Fields::Gaussian, Spins::Up},       {Exchange::Nice, Fields::Whole, Spins::Random},
      {Exchange::Nice, Fields::Zero, Spins::Up},           {Exchange::Dyadic, Fields::Whole, Spins::Random},
      {Exchange::Dyadic, Fields::Gaussian, Spins::Unset},  {Exchange::TwoInexact, Fields::Gaussian, Spins::Random},
      {Exchange::Arbitrary, Fields::Whole, Spins::Random}, {Exchange::Big, Fields::Cancelling, Spins::Random},
      {Exchange::Nice, Fields::Cancelling, Spins::Up},     {Exchange::Huge, Fields::Whole, Spins::Random},
      {Exchange::Nice, Fields::Huge, Spins::Random},
  };
  std::mt19937_64 rng(77);
  int reversals = 0, zeroFields = 0, doubleWouldErr = 0, errors = 0, k = 0;
  // Every side to 40, and a few whose rows take the widest blocks whole and
  // with a last block that overlaps.
  std::vector<int> sides;
  for (int n = 1; n <= 40; ++n) sides.push_back(n);
  for (const int n : {66, 67, 130}) sides.push_back(n);
  for (const int n : sides) {
    for (const Kind& kind : kinds) {
      const Lattice L = MakeLattice(rng, n, kind.exchange, kind.fields, kind.spins);
      const Schedule s = MakeSchedule(rng, kind.exchange, kind.fields, n <= 12 ? 10 : 6);
      SCOPED_TRACE("side " + std::to_string(n) + " kind " + std::to_string(&kind - kinds));
      OneSiteRelaxation oneSite = OneSiteOf(L);
      const Trajectory expected = OneSiteTrajectory(oneSite, s);
      if (n <= 10) {
        Trajectory reference = ReferenceTrajectory(L, s);
        reference.sitesDone = expected.sitesDone;  // the reference does not tell where a pass raised
        reference.flips = expected.flips;            // nor count its reversals
        ASSERT_EQ(reference, expected);
      }
      for (std::size_t p = 1; p < expected.spins.size(); ++p) {
        std::int64_t differ = 0;
        for (std::size_t x = 0; x < expected.spins[p].size(); ++x) differ += expected.spins[p][x] != expected.spins[p - 1][x];
        ASSERT_EQ(expected.flips[p - 1], differ) << "pass " << p;
      }
      errors += !expected.error.empty();
      for (std::size_t p = 1; p < expected.spins.size(); ++p) reversals += expected.spins[p] != expected.spins[p - 1];
      for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
          const double local = oneSite.LatestField(i, j);
          zeroFields += local == 0;
          const double inDouble =
              (oneSite.NeighbourField(i, j) + L.q[static_cast<std::size_t>((i - 1) * n + (j - 1))]) +
              s.passes.back().H;
          doubleWouldErr += expected.error.empty() && (local > 0) - (local < 0) != (inDouble > 0) - (inDouble < 0);
        }
      }
      for (const RelaxationOptions& path : PathsFor(k++)) {
        ParallelRelaxation engine(CompactLatticeOf(n, L.J, L.q), CompactSpinsOf(L.S), path);
        ASSERT_EQ(CompactTrajectory(engine, s), expected) << PathName(path);
        // Zero spins lose the sign of their zero in bytes, and so may the
        // fields they enter.
        if (expected.error.empty() && kind.spins != Spins::Unset) {
          ASSERT_TRUE(SameFields(engine, oneSite, n)) << PathName(path);
        }
      }
    }
  }
  // The lattices were varied enough to mean something.
  EXPECT_GT(reversals, 1000);
  EXPECT_GT(zeroFields, 10000);
  EXPECT_GT(doubleWouldErr, 100);  // sites where plain double arithmetic gets the sign wrong
  EXPECT_GT(errors, 40);
}

TEST(ParallelRelaxationTest, EveryPathFollowsTheOneSiteRulesOnLargeLattices) {
  struct Case {
    int n;
    Exchange exchange;
    Fields fields;
  };
  const Case cases[] = {{300, Exchange::Nice, Fields::Gaussian}, {517, Exchange::Nice, Fields::Whole},
                        {1000, Exchange::Nice, Fields::Gaussian}, {301, Exchange::Dyadic, Fields::Gaussian}};
  std::mt19937_64 rng(5);
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("side " + std::to_string(c.n));
    const Lattice L = MakeLattice(rng, c.n, c.exchange, c.fields, Spins::Up);
    // The default sweep's fields near where the loop turns.
    Schedule s{1.0, {}};
    for (int p = 0; p < 9; ++p) s.passes.push_back({Branch::Descending, 1.0 - 0.5 * p});
    for (int p = 0; p < 3; ++p) s.passes.push_back({Branch::Ascending, -2.0 + p});
    OneSiteRelaxation oneSite = OneSiteOf(L);
    const Trajectory expected = OneSiteTrajectory(oneSite, s);
    ASSERT_NE(expected.spins.front(), expected.spins.back());
    for (const RelaxationOptions& path : PathsFor(k++)) {
      ParallelRelaxation engine(CompactLatticeOf(c.n, L.J, L.q), CompactSpinsOf(L.S), path);
      ASSERT_EQ(CompactTrajectory(engine, s), expected) << PathName(path);
    }
  }
}

// The three bounds of the compact form: a third constant turns the
// choices into doubles; sums that may overflow and those not exact in
// double are told apart as the one-site engine tells them.
TEST(ParallelRelaxationTest, CompactFormOfTheConstants) {
  struct Case {
    std::vector<double> J;
    bool indexed, exact, mayOverflow;
  };
  const Case cases[] = {
      {{1, 10, 10, 1}, true, true, false},        {{1, 1, 1, 1}, true, true, false},
      {{1, 0.1, 1, 0.1}, true, false, false},     {{1, 10, 2, 1}, false, true, false},
      {{0.0, -0.0, 1, 1}, false, true, false},    {{1e308, 1, 1, 1}, true, false, true},
      {{0x1p52, 1, 1, 1}, true, false, false},    {{0x1p50, 1, 1, 1}, true, true, false},
  };
  for (const Case& c : cases) {
    const CompactLattice L = CompactLatticeOf(2, c.J, std::vector<double>(4, 0.0));
    EXPECT_EQ(L.Indexed(), c.indexed) << c.J[0] << " " << c.J[1];
    EXPECT_EQ(L.SumsExact(), c.exact) << c.J[0] << " " << c.J[1];
    EXPECT_EQ(L.SumsMayOverflow(), c.mayOverflow) << c.J[0] << " " << c.J[1];
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(Bits(L.Exchange(k)), Bits(c.J[k]));
  }
}

// Spins no set-up has put stay zero when the rule reverses them, and no row
// counts as changed, on the fast passes and on the checked ones.
TEST(ParallelRelaxationTest, UnsetSpinsStayZero) {
  for (const double J : {0.0, 1e308}) {
    SCOPED_TRACE(J);
    const int n = 3;
    ParallelRelaxation engine(CompactLatticeOf(n, std::vector<double>(9, J), std::vector<double>(9, 0.0)),
                              std::vector<std::int8_t>(9, 0));
    engine.InitLocalFields(0.0);
    engine.Relax(0.0, Branch::Ascending);  // every product is 0: every site reverses
    EXPECT_EQ(engine.SpinSum(), 0);
    EXPECT_EQ(engine.SitesDone(), 9u);
    for (int i = 1; i <= n; ++i) {
      EXPECT_FALSE(engine.RowChanged(i)) << i;
      for (int j = 1; j <= n; ++j) EXPECT_EQ(engine.Spin(i, j), 0);
    }
  }
}

TEST(ParallelRelaxationTest, SumsAndFieldsThatLeaveTheDoubleRangeOverflow) {
  struct Case {
    double J, q, H;
  };
  const Case cases[] = {{1e308, 0.0, 0.0}, {1.0, 1.7e308, 1.7e308}};
  for (const Case& c : cases) {
    ParallelRelaxation engine(CompactLatticeOf(3, std::vector<double>(9, c.J), std::vector<double>(9, c.q)),
                              std::vector<std::int8_t>(9, 1));
    EXPECT_EQ(ErrorMessageOf([&] { engine.InitLocalFields(c.H); }), "Floating point overflow") << c.J;
    EXPECT_EQ(engine.SpinSum(), 9);
  }
}

}  // namespace
