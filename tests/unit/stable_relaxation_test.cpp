// Relaxation to stability against a plain reference written here from the
// rule (sweeps one site at a time until no spin is unstable, every sum in
// extended precision, each boundary by hand): the same spins after every
// field value, in row-major order and in shuffled orders, with and
// without flip fields; return-point memory; the settle bound and overflows with negative or huge constants.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/stable_relaxation.h"
#include "engine/parallel_relaxation.h"
#include "run/relaxation_inputs.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

struct Plain {
  int n = 0;
  Boundary boundary = Boundary::EdgeCopy;
  std::vector<double> J, q;
  std::vector<std::int8_t> S;

  long double Term(int i, int j) const {
    const std::size_t s = static_cast<std::size_t>((i - 1) * n + (j - 1));
    return static_cast<long double>(J[s]) * S[s];
  }

  // Edge copy: the cell a site repeats, its terms right/lower first on row 1
  // and column 1 as the window sums them.
  long double EdgeCopySum(int i, int j) const {
    if (n == 1) return 0;
    const int a = i == n ? 1 : i, b = j == n ? 1 : j;
    if (a == 1 && b == 1) return Term(1, 2) + Term(2, 1);
    if (a == 1) return (Term(1, b + 1) + Term(2, b)) + Term(1, b - 1);
    if (b == 1) return (Term(a, 2) + Term(a + 1, 1)) + Term(a - 1, 1);
    return ((Term(a, b - 1) + Term(a, b + 1)) + Term(a - 1, b)) + Term(a + 1, b);
  }

  // Periodic and open: left, right, upper, lower.
  long double OwnSum(int i, int j) const {
    const int cells[4][2] = {{i, j - 1}, {i, j + 1}, {i - 1, j}, {i + 1, j}};
    long double sum = 0;
    bool first = true;
    for (const auto& c : cells) {
      int a = c[0], b = c[1];
      if (a < 1 || b < 1 || a > n || b > n) {
        if (boundary == Boundary::Open) continue;
        a = a < 1 ? n : a > n ? 1 : a;
        b = b < 1 ? n : b > n ? 1 : b;
      }
      sum = first ? Term(a, b) : sum + Term(a, b);
      first = false;
    }
    return sum;
  }

  double Local(std::size_t s, double H) const {
    const int i = static_cast<int>(s) / n + 1, j = static_cast<int>(s) % n + 1;
    const double F = static_cast<double>(boundary == Boundary::EdgeCopy ? EdgeCopySum(i, j) : OwnSum(i, j));
    return static_cast<double>((static_cast<long double>(F) + q[s]) + H);
  }

  // Sweeps over the sites in `order` (reshuffled before each sweep when rng
  // is given) until one reverses nothing.
  void Settle(double H, std::mt19937_64* rng = nullptr) {
    std::vector<std::size_t> order(S.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    for (int sweep = 0; sweep < 100000; ++sweep) {
      if (rng) std::shuffle(order.begin(), order.end(), *rng);
      bool reversed = false;
      for (const std::size_t s : order) {
        const double h = Local(s, H);
        if (S[s] * ((h > 0) - (h < 0)) < 0) {
          S[s] = static_cast<std::int8_t>(-S[s]);
          reversed = true;
        }
      }
      if (!reversed) return;
    }
    FAIL() << "the reference did not settle";
  }
};

// A random small lattice with constants >= 0: ordinary sites 1, a dilution
// of them enhanced, sometimes a third constant (held as doubles), fields
// Gaussian or on a grid of quarters (exact zero local fields), a few zero
// spins on some.
Plain RandomLattice(std::mt19937_64& rng, int n, Boundary boundary, int kind) {
  const double enhancements[] = {0.0, 0.5, 2.0, 3.25, 1.0, 0.1};
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0 + kind % 3);
  const double c = enhancements[kind % 6], dilution = unit(rng);
  Plain L{n, boundary, {}, {}, {}};
  for (int k = 0; k < n * n; ++k) {
    const double u = unit(rng);
    L.J.push_back(kind % 4 == 3 && u < 0.1 ? 0.75 : u < dilution ? c : 1.0);
    L.q.push_back(kind % 2 ? std::round(gauss(rng) * 4) / 4 : gauss(rng));
    L.S.push_back(kind % 5 == 4 && unit(rng) < 0.1 ? 0 : 1);
  }
  return L;
}

StableRelaxation EngineOf(const Plain& L, StableOptions options = {}) {
  options.boundary = L.boundary;
  std::vector<double> spins(L.S.begin(), L.S.end());
  return StableRelaxation(CompactLatticeOf(L.n, L.J, L.q), CompactSpinsOf(spins), options);
}

// Down from 4 to -4 and back in steps of 0.25 (fields on the quarters' grid
// meet exact zeros), then a minor loop at fields off the grid, one of them
// twice.
std::vector<double> Loop() {
  std::vector<double> fields;
  for (int k = 16; k >= -16; --k) fields.push_back(k * 0.25);
  for (int k = -15; k <= 16; ++k) fields.push_back(k * 0.25);
  for (const double H : {0.3, -0.7, -0.7, -1.9, 0.1, 2.6}) fields.push_back(H);
  return fields;
}

StableOptions WithFlipFields() {
  StableOptions options;
  options.events = true;
  return options;
}

const Boundary kBoundaries[] = {Boundary::EdgeCopy, Boundary::Periodic, Boundary::Open};

TEST(StableRelaxationTest, FollowsRowMajorAndShuffledSweepsOnSmallLattices) {
  std::mt19937_64 rng(224422);
  int flips = 0, lattices = 0;
  for (const Boundary boundary : kBoundaries) {
    for (int n = 1; n <= 12; ++n) {
      for (int kind = 0; kind < 6; ++kind) {
        SCOPED_TRACE("boundary " + std::to_string(static_cast<int>(boundary)) + " side " + std::to_string(n) +
                     " kind " + std::to_string(kind));
        Plain rowMajor = RandomLattice(rng, n, boundary, kind + lattices);
        Plain shuffled = rowMajor;
        StableRelaxation engine = EngineOf(rowMajor);
        StableRelaxation byEvents = EngineOf(rowMajor, WithFlipFields());
        ASSERT_TRUE(byEvents.Events());
        byEvents.InitLocalFields(4.0);
        std::int64_t sum = std::accumulate(rowMajor.S.begin(), rowMajor.S.end(), std::int64_t{0});
        ASSERT_EQ(engine.SpinSum(), sum);
        engine.InitLocalFields(4.0);
        for (const double H : Loop()) {
          const std::vector<std::int8_t> before = SpinsOf(engine);
          engine.Relax(H, Branch::Descending);
          byEvents.Relax(H, Branch::Ascending);
          rowMajor.Settle(H);
          shuffled.Settle(H, &rng);
          const std::vector<std::int8_t> after = SpinsOf(engine);
          ASSERT_EQ(after, rowMajor.S) << "H = " << H;
          ASSERT_EQ(after, shuffled.S) << "H = " << H;
          ASSERT_EQ(SpinsOf(byEvents), after) << "H = " << H;
          ASSERT_EQ(byEvents.Flips(), engine.Flips());
          ASSERT_EQ(byEvents.SpinSum(), engine.SpinSum());
          std::int64_t reversed = 0, total = 0;
          for (std::size_t s = 0; s < after.size(); ++s) {
            reversed += after[s] != before[s];
            total += after[s];
          }
          ASSERT_EQ(engine.Flips(), reversed);
          ASSERT_EQ(engine.SpinSum(), total);
          for (int i = 1; i <= n; ++i) {
            const auto row = [&](const std::vector<std::int8_t>& v) {
              return std::vector<std::int8_t>(v.begin() + (i - 1) * n, v.begin() + i * n);
            };
            ASSERT_EQ(engine.RowChanged(i), row(after) != row(before)) << "row " << i;
            ASSERT_EQ(byEvents.RowChanged(i), engine.RowChanged(i)) << "row " << i;
          }
          flips += static_cast<int>(reversed);
        }
        ++lattices;
      }
    }
  }
  EXPECT_GT(flips, 5000);
}

// Whatever the boundary, the local fields are those the pass computes.
TEST(StableRelaxationTest, LocalFieldsAreThePassFields) {
  std::mt19937_64 rng(66);
  for (const Boundary boundary : kBoundaries) {
    for (const int n : {1, 2, 3, 9, 40}) {
      const Plain L = RandomLattice(rng, n, boundary, n);
      StableRelaxation stable = EngineOf(L);
      RelaxationOptions options;
      options.boundary = boundary;
      std::vector<double> spins(L.S.begin(), L.S.end());
      ParallelRelaxation pass(CompactLatticeOf(n, L.J, L.q), CompactSpinsOf(spins), options);
      pass.InitLocalFields(0.375);
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j)
          ASSERT_EQ(stable.LocalFieldAt(i, j, 0.375), pass.SiteFields(i, j).latest)
              << "boundary " << static_cast<int>(boundary) << " side " << n << " (" << i << "," << j << ")";
    }
  }
}

// Return-point memory, a theorem for constants >= 0: coming back to a field
// after a loop inside the range visited since, the spins are as they were.
TEST(StableRelaxationTest, ReturnPointMemory) {
  std::mt19937_64 rng(1);
  for (const Boundary boundary : kBoundaries) {
    for (const int n : {8, 17, 30}) {
      SCOPED_TRACE("boundary " + std::to_string(static_cast<int>(boundary)) + " side " + std::to_string(n));
      Plain L = RandomLattice(rng, n, boundary, 2);  // enhancement 2, fields of deviation 3
      StableRelaxation engine = EngineOf(L, n == 17 ? WithFlipFields() : StableOptions{});
      engine.InitLocalFields(3.0);
      std::vector<std::vector<std::int8_t>> at;  // the spins at each field in turn
      auto visit = [&](double from, double to) {
        const double step = from > to ? -0.5 : 0.5;
        for (double H = from; step < 0 ? H >= to : H <= to; H += step) engine.Relax(H, Branch::Descending);
        at.push_back(SpinsOf(engine));
      };
      visit(3.0, -1.0);  // 0: first -1
      visit(-0.5, 1.0);  // 1: first 1
      visit(0.5, 0.0);   // 2: nested turn at 0
      visit(0.5, 1.0);   // 3: 1 again, after the nested loop
      visit(0.5, -1.0);  // 4: -1 again
      EXPECT_NE(at[0], at[1]);
      EXPECT_EQ(at[3], at[1]);
      EXPECT_EQ(at[4], at[0]);
    }
  }
}

// With a negative constant the sweeps are row-major: a side-1 periodic
// lattice whose site is its own neighbour with a negative constant reverses
// at every sweep until the applied field outweighs it; a lattice that needs
// two sweeps settles within two and not within one.
TEST(StableRelaxationTest, NegativeConstantsSettleOrRaise) {
  struct Case {
    std::string name;
    Plain lattice;
    double H;
    int limit;
    std::string error;
  };
  // Open side 2 with J = -1 everywhere, fields (0.5, 0, 0, 0): the first
  // sweep reverses (1, 1) and (2, 2), the second reverses nothing.
  Plain two{2, Boundary::Open, {-1, -1, -1, -1}, {0.5, 0, 0, 0}, {1, 1, 1, 1}};
  Plain self{1, Boundary::Periodic, {-1}, {0}, {1}};
  const Case cases[] = {
      {"own neighbour, default bound", self, 0.0, 0, "The spins did not settle at H = 0 within 1004 sweeps"},
      {"own neighbour, field beyond it", self, -4.5, 0, ""},
      {"two sweeps within one", two, 0.0, 1, "The spins did not settle at H = 0 within 1 sweep"},
      {"two sweeps within two", two, 0.0, 2, ""},
      {"a field's shortest text", two, 0.1, 1, "The spins did not settle at H = 0.1 within 1 sweep"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StableOptions options;
    options.sweepLimit = c.limit;
    StableRelaxation engine = EngineOf(c.lattice, options);
    ASSERT_TRUE(engine.Sweeps());
    engine.InitLocalFields(c.H);
    EXPECT_EQ(ErrorMessageOf([&] { engine.Relax(c.H, Branch::Descending); }), c.error);
    if (c.error.empty()) {
      Plain reference = c.lattice;
      reference.Settle(c.H);
      EXPECT_EQ(SpinsOf(engine), reference.S);
    }
  }
}

// Overflows raise the pass's error where they arise: a neighbour sum at the
// start, a local field at a huge applied field.
TEST(StableRelaxationTest, OverflowsRaiseThePassError) {
  struct Case {
    std::string name;
    Plain lattice;
    double start, H;
  };
  const Case cases[] = {
      {"neighbour sum", {3, Boundary::Periodic, std::vector<double>(9, 5e307), std::vector<double>(9, 0), std::vector<std::int8_t>(9, 1)}, 0, 0},
      {"local field", {3, Boundary::Open, std::vector<double>(9, 1), std::vector<double>(9, 1.7e308), std::vector<std::int8_t>(9, 1)}, 0, 1.5e308},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StableRelaxation stable = EngineOf(c.lattice, WithFlipFields());
    RelaxationOptions options;
    options.boundary = c.lattice.boundary;
    std::vector<double> spins(c.lattice.S.begin(), c.lattice.S.end());
    ParallelRelaxation pass(CompactLatticeOf(c.lattice.n, c.lattice.J, c.lattice.q), CompactSpinsOf(spins), options);
    const std::string expected = ErrorMessageOf([&] {
      pass.InitLocalFields(c.start);
      pass.Relax(c.H, Branch::Descending);
    });
    EXPECT_EQ(expected, "Floating point overflow");
    EXPECT_EQ(ErrorMessageOf([&] {
                stable.InitLocalFields(c.start);
                stable.Relax(c.H, Branch::Descending);
              }),
              expected);
  }
}

}  // namespace
