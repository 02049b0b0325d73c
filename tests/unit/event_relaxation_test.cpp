// The event engine against the pass engine: the same spins after every
// relaxation, the same spin sums, reversal counts and changed rows, and the
// same overflow at the same visit, on lattices of many sides, disorders
// and boundaries, along loops and along field histories that turn back
// anywhere.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/event_relaxation.h"
#include "engine/parallel_relaxation.h"
#include "run/relaxation_inputs.h"
#include "tests/unit/fake_window.h"

using namespace ebsim;

namespace {

// Dilute: constants 1 or 0; Enhanced: 1 or e (e of either sign, also
// inexact); WholeFields: whole constants and fields with whole applied
// fields (local fields of exactly zero); Huge: sums beyond the double range.
enum class Disorder { Dilute, Enhanced, WholeFields, Huge };
// Unplanned: the plan leaves the history a third of the way in; Far: the
// history goes to a field so large that the relaxation there is checked.
enum class Fields { Loop, History, Unplanned, Far };

struct Case {
  int n;
  Boundary boundary;
  Disorder disorder;
  Fields fields;
  int threads = 1;
};

struct Lattice {
  std::vector<double> J, q;
  std::vector<std::int8_t> spins;
};

Lattice MakeLattice(const Case& c, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 0.3 + unit(rng) * 3);
  const double enhancement = std::vector<double>{-2.5, 0.1, 3.0, -0.7}[rng() % 4];
  Lattice L;
  for (int k = 0; k < c.n * c.n; ++k) {
    const double u = unit(rng);
    switch (c.disorder) {
      case Disorder::Dilute: L.J.push_back(u < 0.3 ? 0.0 : 1.0); L.q.push_back(gauss(rng)); break;
      case Disorder::Enhanced: L.J.push_back(u < 0.2 ? enhancement : 1.0); L.q.push_back(gauss(rng)); break;
      case Disorder::WholeFields: L.J.push_back(u < 0.3 ? 2.0 : 1.0); L.q.push_back(std::floor(unit(rng) * 5) - 2); break;
      case Disorder::Huge: L.J.push_back(u < 0.5 ? 6e307 : -5e307); L.q.push_back(gauss(rng)); break;
    }
    L.spins.push_back(unit(rng) < 0.05 ? 0 : unit(rng) < 0.7 ? 1 : -1);
  }
  return L;
}

struct Step {
  double H;
  Branch branch;
};

// The loop from 3 down to -3 and back by a step of 0.04 (by 1 with whole
// fields), or a history of random moves of either sign, also none.
std::vector<Step> MakeSteps(const Case& c, std::mt19937_64& rng) {
  std::vector<Step> steps;
  const bool whole = c.disorder == Disorder::WholeFields;
  if (c.fields == Fields::Loop) {
    const double d = whole ? 1.0 : 0.04;
    for (long double H = 3; H >= -3 - d / 2; H -= d) steps.push_back({static_cast<double>(H), Branch::Descending});
    for (long double H = -3; H <= 3 + d / 2; H += d) steps.push_back({static_cast<double>(H), Branch::Ascending});
    return steps;
  }
  double H = 1.0;
  Branch branch = Branch::Descending;
  for (int k = 0; k < 200; ++k) {
    const int run = static_cast<int>(rng() % 40);
    const double d = whole ? 1.0 : std::ldexp(static_cast<double>(rng() % 9), -3) * (rng() % 2 ? 1 : -1);
    for (int r = 0; r < run && steps.size() < 400; ++r) {
      const double next = whole ? H + static_cast<double>(static_cast<int>(rng() % 3) - 1) : H + d;
      branch = next < H ? Branch::Descending : next > H ? Branch::Ascending : branch;
      H = next;
      steps.push_back({H, branch});
    }
  }
  if (c.fields == Fields::Far && !steps.empty()) {
    const std::size_t k = steps.size() / 3;
    steps.insert(steps.begin() + static_cast<std::ptrdiff_t>(k), {1e308, Branch::Ascending});
    steps[k + 1].branch = Branch::Descending;
  }
  return steps;
}

// What an engine did: after the initial fields and every relaxation, the
// spins, the sum, the reversals, the changed rows; the error and how far
// the failing relaxation got.
struct Trajectory {
  std::vector<std::vector<std::int8_t>> spins;
  std::vector<std::int64_t> sums, flips;
  std::vector<std::vector<bool>> rows;
  std::string error;
  std::size_t sitesDone = 0;
  bool operator==(const Trajectory&) const = default;
};

template <class Engine>
void Record(const Engine& engine, Trajectory& t) {
  t.spins.push_back(SpinsOf(engine));
  t.sums.push_back(engine.SpinSum());
  t.flips.push_back(engine.Flips());
  std::vector<bool> rows;
  for (int i = 1; i <= engine.Side(); ++i) rows.push_back(engine.RowChanged(i));
  t.rows.push_back(rows);
}

template <class Engine>
Trajectory Follow(Engine& engine, double h0, const std::vector<Step>& steps, double* visits = nullptr) {
  Trajectory t;
  t.error = ErrorMessageOf([&] { engine.InitLocalFields(h0); });
  Record(engine, t);
  for (std::size_t k = 0; k < steps.size() && t.error.empty(); ++k) {
    t.error = ErrorMessageOf([&] { engine.Relax(steps[k].H, steps[k].branch); });
    if constexpr (requires { engine.Visits(); })
      if (visits) *visits += static_cast<double>(engine.Visits());
    Record(engine, t);
    if (!t.error.empty()) t.sitesDone = engine.SitesDone();
  }
  return t;
}

// What the event engine did beside its bits: the error that ended it, and
// the share of the sites its relaxations visited.
struct EventRun {
  std::string error;
  double visitedShare = 0;
};

// Both engines on one case, the event engine told the fields to come.
EventRun ExpectSameBits(const Case& c, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const Lattice L = MakeLattice(c, rng);
  const std::vector<Step> steps = MakeSteps(c, rng);
  const double h0 = steps.empty() ? 0.0 : steps.front().H;
  RelaxationOptions options;
  options.threads = c.threads;
  options.boundary = c.boundary;
  ParallelRelaxation pass(CompactLatticeOf(c.n, L.J, L.q), L.spins, options);
  EventRelaxation events(CompactLatticeOf(c.n, L.J, L.q), L.spins, c.boundary);
  std::vector<double> plan;
  for (const Step& s : steps) plan.push_back(s.H);
  if (c.fields == Fields::Unplanned && !plan.empty()) plan[plan.size() / 3] += 1.0;
  events.ExpectFields(plan);
  const Trajectory expected = Follow(pass, h0, steps);
  double visits = 0;
  const Trajectory got = Follow(events, h0, steps, &visits);
  const EventRun run{got.error, visits / (static_cast<double>(c.n) * c.n * static_cast<double>(got.spins.size()))};
  EXPECT_EQ(got.spins.size(), expected.spins.size()) << got.error << " / " << expected.error;
  for (std::size_t k = 0; k < got.spins.size() && k < expected.spins.size(); ++k) {
    EXPECT_EQ(got.spins[k], expected.spins[k]) << "relaxation " << k;
    EXPECT_EQ(got.sums[k], expected.sums[k]) << "relaxation " << k;
    EXPECT_EQ(got.flips[k], expected.flips[k]) << "relaxation " << k;
    EXPECT_EQ(got.rows[k], expected.rows[k]) << "relaxation " << k;
    if (got.spins[k] != expected.spins[k]) break;
  }
  EXPECT_EQ(got.error, expected.error);
  EXPECT_EQ(got.sitesDone, expected.sitesDone);
  return run;
}

const Boundary kBoundaries[] = {Boundary::EdgeCopy, Boundary::Periodic, Boundary::Open};

std::string NameOf(const Case& c) {
  return "n " + std::to_string(c.n) + " boundary " + std::to_string(static_cast<int>(c.boundary)) + " disorder " +
         std::to_string(static_cast<int>(c.disorder)) + " fields " + std::to_string(static_cast<int>(c.fields)) +
         " threads " + std::to_string(c.threads);
}

TEST(EventRelaxationTest, SameBitsAsThePassOnSmallSides) {
  const Disorder disorders[] = {Disorder::Dilute, Disorder::Enhanced, Disorder::WholeFields};
  std::uint64_t seed = 1;
  for (int n = 1; n <= 40; ++n)
    for (int b = 0; b < 3; ++b)
      for (const Fields f : {Fields::Loop, Fields::History}) {
        const Case c{n, kBoundaries[b], disorders[(n + b + static_cast<int>(f)) % 3], f, n % 2 + 1};
        SCOPED_TRACE(NameOf(c));
        ExpectSameBits(c, seed++);
        if (HasFailure()) return;
      }
}

TEST(EventRelaxationTest, SameBitsAsThePassOnLargerSides) {
  const Case cases[] = {
      {64, Boundary::EdgeCopy, Disorder::Enhanced, Fields::Loop, 2},
      {77, Boundary::Periodic, Disorder::Dilute, Fields::History, 1},
      {100, Boundary::Open, Disorder::WholeFields, Fields::Loop, 2},
      {101, Boundary::EdgeCopy, Disorder::Dilute, Fields::History, 2},
      {128, Boundary::Periodic, Disorder::Enhanced, Fields::Loop, 1},
      {130, Boundary::Open, Disorder::Enhanced, Fields::History, 2},
      {300, Boundary::EdgeCopy, Disorder::Enhanced, Fields::Loop, 2},
      {301, Boundary::Periodic, Disorder::Dilute, Fields::Loop, 1},
      {301, Boundary::EdgeCopy, Disorder::WholeFields, Fields::History, 2},
  };
  std::uint64_t seed = 1000;
  for (const Case& c : cases) {
    SCOPED_TRACE(NameOf(c));
    // Along a loop of fine steps most relaxations visit few sites.
    const double share = ExpectSameBits(c, seed++).visitedShare;
    if (c.fields == Fields::Loop && c.disorder != Disorder::WholeFields) {
      EXPECT_LT(share, 0.25);
    }
  }
}

// A relaxation the plan does not expect, sums that overflow, and spins of
// 0: the whole passes take over with the same bits.
TEST(EventRelaxationTest, SameBitsWhereThePlanFailsOrSumsOverflow) {
  std::uint64_t seed = 2000;
  int overflows = 0;
  for (const int n : {1, 2, 3, 7, 20})
    for (const Boundary b : kBoundaries) {
      for (const Case& c : {Case{n, b, Disorder::Huge, Fields::Loop}, Case{n, b, Disorder::Huge, Fields::History},
                            Case{n, b, Disorder::Enhanced, Fields::Unplanned},
                            Case{n, b, Disorder::WholeFields, Fields::Unplanned},
                            Case{n, b, Disorder::Dilute, Fields::Far}}) {
        SCOPED_TRACE(NameOf(c));
        overflows += !ExpectSameBits(c, seed++).error.empty();
      }
    }
  EXPECT_GT(overflows, 10);
}

}  // namespace
