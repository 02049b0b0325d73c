// The compact set-up on one thread and on two: the lattice the window's
// maps hold, to the bit, on the sides the maps hold, and the draws in turn
// beyond them, across several stretches of rows.

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "base/float_checks.h"
#include "form/field_parameters.h"
#include "form/headless_form.h"
#include "run/relaxation_inputs.h"
#include "setup/compact_set_up.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"

using namespace ebsim;

namespace {

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Everything the engine reads of a lattice, the constants' representation
// included.
void ExpectSameLattice(const CompactLattice& got, const CompactLattice& want) {
  ASSERT_EQ(got.Side(), want.Side());
  ASSERT_EQ(got.Indexed(), want.Indexed());
  EXPECT_EQ(Bits(got.Value(0)), Bits(want.Value(0)));
  EXPECT_EQ(Bits(got.Value(1)), Bits(want.Value(1)));
  EXPECT_EQ(got.LargestSum(), want.LargestSum());
  EXPECT_EQ(got.LargestRandomField(), want.LargestRandomField());
  EXPECT_EQ(got.SumsExact(), want.SumsExact());
  const std::size_t sites = static_cast<std::size_t>(got.Side()) * static_cast<std::size_t>(got.Side());
  for (std::size_t s = 0; s < sites; ++s) {
    if (got.Indexed()) {
      ASSERT_EQ(got.Masks()[s], want.Masks()[s]) << "site " << s;
    }
    ASSERT_EQ(Bits(got.Exchange(s)), Bits(want.Exchange(s))) << "site " << s;
    ASSERT_EQ(Bits(got.RandomField(s)), Bits(want.RandomField(s))) << "site " << s;
  }
}

struct Texts {
  std::string side, dilution = "0.04", enhancement = "10", sd = "2";
  std::uint32_t seedMs;
};

HeadlessFields FieldsOf(const Texts& t) {
  HeadlessFields fields;
  fields.Set(Input::Side, t.side);
  fields.Set(Input::Dilution, t.dilution);
  fields.Set(Input::Enhancement, t.enhancement);
  fields.Set(Input::FieldSd, t.sd);
  return fields;
}

// The compact set-up on `threads` threads; the generator as it leaves it
// and the surface ratio it shows.
CompactLattice CompactOn(const Texts& t, int threads, std::uint32_t& seedAfter, long double& ratio,
                         Boundary boundary = Boundary::EdgeCopy) {
  const HeadlessFields fields = FieldsOf(t);
  HeadlessReadouts readouts;
  const FieldParameters parameters(fields);
  RandomNumbers random;
  const char* stage = "";
  CompactLattice lattice = SetUpCompactLattice(FormPort{fields, readouts, nullptr}, parameters, std::stoi(t.side),
                                               random, FixedClock(t.seedMs), stage, threads, {}, boundary);
  seedAfter = random.RandomSeed;
  ratio = *readouts.Of(Quantity::SurfaceRatio).value;
  return lattice;
}

TEST(CompactSetUpTest, OneAndTwoThreadsGiveTheLatticeOfTheMaps) {
  const Texts cases[] = {
      {"1", "0.04", "10", "2", 0},          {"2", "0.5", "10", "2", 1},
      {"3", "0.04", "10", "2", 0},          {"5", "0.3", "2.5", "0.7", 86399999},
      {"64", "1", "-0", "0", 7},            {"130", "0", "x", "-2", 4242},
      {"300", "0.04", "10", "2", 45296789}, {"300", "0.5", "1", "1E-300", 3},
  };
  for (const Texts& c : cases) {
    SCOPED_TRACE("side " + c.side + ", seed " + std::to_string(c.seedMs));
    const HeadlessFields fields = FieldsOf(c);
    HeadlessReadouts readouts;
    const FormPort port{fields, readouts, nullptr};
    auto maps = std::make_unique<LatticeState>();
    RandomNumbers random;
    RunExchangeEnhancement(port, FieldParameters(fields), *maps, random, FixedClock(c.seedMs));
    RunRandomField(port, FieldParameters(fields), *maps, random);
    const CompactLattice want = CompactLatticeOf(*maps, maps->LatticeSize);
    for (int threads : {1, 2}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      std::uint32_t seedAfter = 0;
      long double ratio = 0;
      ExpectSameLattice(CompactOn(c, threads, seedAfter, ratio), want);
      EXPECT_EQ(seedAfter, random.RandomSeed);
      EXPECT_EQ(ratio, *readouts.Of(Quantity::SurfaceRatio).value);
    }
  }
}

// The set-up of side n drawn in turn, as the window draws it, with the
// edge copies: the exchange constants and the random fields row by row.
CompactLattice InTurn(const Texts& t, std::uint32_t& seedAfter) {
  const int n = std::stoi(t.side);
  const double d = std::stod(t.dilution), K = std::stod(t.enhancement);
  const long double sd = std::stold(t.sd);
  RandomNumbers random;
  random.RandomSeed = t.seedMs;
  std::vector<double> J(static_cast<std::size_t>(n) * n), q(J.size());
  const auto site = [n](int i, int j) { return static_cast<std::size_t>(i - 1) * n + (j - 1); };
  const auto source = [n](int k) { return k == n ? 1 : k; };
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      J[site(i, j)] = i == n || j == n ? J[site(source(i), source(j))]
                                       : (static_cast<double>(random.UniformRandom()) < d ? K : 1.0);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      q[site(i, j)] =
          i == n || j == n ? q[site(source(i), source(j))] : StoreDouble(random.GaussianRandom(0.0L, sd));
  seedAfter = random.RandomSeed;
  return CompactLatticeOf(n, J, q);
}

TEST(CompactSetUpTest, BeyondTheMapsOneAndTwoThreadsGiveTheDrawsInTurn) {
  // Side 1100 takes two stretches of rows for the exchange and nine for
  // the random fields.
  const Texts cases[] = {{"301", "0.04", "10", "2", 1}, {"1100", "0.3", "2.5", "0.7", 86399999}};
  for (const Texts& c : cases) {
    SCOPED_TRACE("side " + c.side);
    std::uint32_t wantSeed = 0;
    const CompactLattice want = InTurn(c, wantSeed);
    for (int threads : {1, 2}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      std::uint32_t seedAfter = 0;
      long double ratio = 0;
      ExpectSameLattice(CompactOn(c, threads, seedAfter, ratio), want);
      EXPECT_EQ(seedAfter, wantSeed);
    }
  }
}

}  // namespace

namespace {

// Periodic and open lattices draw every site, in row-major order: side m
// takes the draws that edge copy gives the computed block of side m + 1, on
// one thread and on two, across several stretches of Gaussian draws.
TEST(CompactSetUpTest, EveryCellDrawnUnderPeriodicAndOpenBoundaries) {
  const Texts cases[] = {
      {"1", "0.5", "10", "2", 5}, {"2", "0.5", "3", "2", 11}, {"7", "0.3", "2.5", "0.7", 86399999},
      {"400", "0.04", "10", "2", 45296789},
  };
  for (const Texts& c : cases) {
    SCOPED_TRACE("side " + c.side);
    const int m = std::stoi(c.side);
    Texts larger = c;
    larger.side = std::to_string(m + 1);
    std::uint32_t seedCopy = 0;
    long double ratioCopy = 0;
    const CompactLattice copy = CompactOn(larger, 1, seedCopy, ratioCopy);
    for (const Boundary boundary : {Boundary::Periodic, Boundary::Open}) {
      for (int threads : {1, 2}) {
        SCOPED_TRACE("boundary " + std::to_string(static_cast<int>(boundary)) + ", " + std::to_string(threads) +
                     " threads");
        std::uint32_t seedAfter = 0;
        long double ratio = 0;
        const CompactLattice got = CompactOn(c, threads, seedAfter, ratio, boundary);
        EXPECT_EQ(seedAfter, seedCopy);
        int enhanced = 0;
        for (int i = 1; i <= m; ++i)
          for (int j = 1; j <= m; ++j) {
            const std::size_t s = got.Index(i, j), t = copy.Index(i, j);
            ASSERT_EQ(Bits(got.Exchange(s)), Bits(copy.Exchange(t))) << i << "," << j;
            ASSERT_EQ(Bits(got.RandomField(s)), Bits(copy.RandomField(t))) << i << "," << j;
            enhanced += got.Exchange(s) != 1.0;
          }
        EXPECT_NEAR(static_cast<double>(ratio), static_cast<double>(enhanced) / (static_cast<double>(m) * m), 1e-12);
      }
    }
  }
}

}  // namespace
