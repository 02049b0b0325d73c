// The edge rule's neighbour sums, on hand-set maps and on the compact
// lattice the engine reads: the same terms, in the same order, for every
// cell, the copied ones included.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/site_field.h"
#include "model/neighbour_sum.h"
#include "run/relaxation_inputs.h"

using namespace ebsim;

namespace {

using Site = std::pair<int, int>;

TEST(EdgeRuleTest, NeighbourSumsOnHandSetLattices) {
  struct Case {
    std::string name;
    int n, i, j;
    std::vector<std::pair<Site, std::pair<double, double>>> sites;  // (J, S) set on top of J = 1, S = +1
    long double sum;
    Boundary boundary = Boundary::EdgeCopy;
  };
  const Boundary P = Boundary::Periodic, O = Boundary::Open;
  const Case cases[] = {
      {"inside, ordinary", 4, 2, 2, {}, 4},
      {"corner", 4, 1, 1, {}, 2},
      {"first row", 4, 1, 2, {}, 3},
      {"first column", 4, 2, 1, {}, 3},
      {"own constant does not count", 4, 2, 2, {{{2, 2}, {100, 1}}}, 4},
      {"neighbour's constant counts", 4, 2, 3, {{{2, 2}, {100, 1}}}, 103},
      {"first row sees its lower neighbour", 4, 1, 3, {{{2, 3}, {2, 1}}}, 4},
      {"no upper term on the first row", 4, 1, 2, {{{4, 2}, {50, 1}}}, 3},
      {"no left term in the first column", 4, 2, 1, {{{2, 4}, {50, 1}}}, 3},
      {"last inner row sees row n", 4, 3, 2, {{{4, 2}, {7, 1}}}, 10},
      {"own spin does not count", 4, 2, 2, {{{2, 2}, {1, -1}}}, 4},
      {"neighbour spin down", 4, 2, 3, {{{2, 2}, {1, -1}}}, 2},
      {"row n takes row 1's sum", 4, 4, 2, {{{2, 2}, {9, 1}}, {{3, 2}, {50, 1}}}, 11},
      {"column n takes column 1's sum", 4, 3, 4, {{{3, 2}, {9, 1}}, {{3, 3}, {50, 1}}}, 11},
      {"n = 1 ignores what lies beyond the block", 1, 1, 1, {{{1, 2}, {7, 1}}, {{2, 1}, {5, -1}}}, 0},
      {"n = 2 sees the same cells", 2, 1, 1, {{{1, 2}, {7, 1}}, {{2, 1}, {5, -1}}}, 2},
      {"n = 2, every cell repeats (1, 1)", 2, 2, 2, {{{1, 2}, {7, 1}}, {{2, 1}, {5, -1}}}, 2},
      {"a term of -0 keeps its sign", 2, 1, 1, {{{1, 2}, {-0.0, 1}}, {{2, 1}, {-0.0, 1}}}, -0.0L},
      {"periodic inside", 4, 2, 2, {{{2, 3}, {5, 1}}}, 8, P},
      {"periodic corner wraps to row n and column n", 4, 1, 1, {{{4, 1}, {7, 1}}, {{1, 4}, {9, -1}}}, 0, P},
      {"periodic row n wraps to row 1", 4, 4, 2, {{{1, 2}, {6, 1}}}, 9, P},
      {"periodic row n is its own", 4, 4, 2, {{{2, 2}, {100, 1}}}, 4, P},
      {"periodic side 2 counts each bond", 2, 1, 1, {{{1, 2}, {3, 1}}, {{2, 1}, {5, -1}}}, -4, P},
      {"periodic side 1 is its own neighbour four times", 1, 1, 1, {{{1, 1}, {2.5, -1}}}, -10, P},
      {"open corner has two", 4, 1, 1, {{{4, 1}, {7, 1}}, {{1, 4}, {9, 1}}}, 2, O},
      {"open edge has three", 4, 1, 3, {{{4, 3}, {7, 1}}}, 3, O},
      {"open last corner", 4, 4, 4, {{{4, 3}, {7, 1}}}, 8, O},
      {"open side 1 has none", 1, 1, 1, {{{1, 1}, {2.5, -1}}}, 0, O},
      {"open side 2", 2, 2, 2, {{{1, 2}, {3, 1}}, {{2, 1}, {5, -1}}}, -2, O},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto J = std::make_unique<SiteMap>(), S = std::make_unique<SiteMap>();
    J->FillBlock(kMaxSide, 1.0);
    S->FillBlock(kMaxSide, 1.0);
    for (const auto& [site, js] : c.sites) {
      (*J)(site.first, site.second) = js.first;
      (*S)(site.first, site.second) = js.second;
    }
    const long double sum = NeighbourSum(*J, *S, c.n, c.i, c.j, c.boundary);
    EXPECT_EQ(sum, c.sum);
    EXPECT_EQ(std::signbit(sum), std::signbit(c.sum));
    // The engine's form of the same rule, on the block as it reads it.
    std::vector<double> exchange, fields, spins;
    for (int i = 1; i <= c.n; ++i)
      for (int j = 1; j <= c.n; ++j) {
        exchange.push_back((*J)(i, j));
        fields.push_back(0);
        spins.push_back((*S)(i, j));
      }
    const CompactLattice lattice = CompactLatticeOf(c.n, exchange, fields);
    const std::vector<std::int8_t> bytes = CompactSpinsOf(spins);
    const double field = SiteField<long double>(lattice, EdgeRule(c.n, c.boundary), bytes.data(), bytes.data(), c.i, c.j);
    EXPECT_EQ(field, static_cast<double>(c.sum));
    EXPECT_EQ(std::signbit(field), std::signbit(c.sum));
  }
}

}  // namespace

namespace {

// The cells whose neighbour fields take each cell's spin are exactly those
// that sum it, for every boundary and side: what the stable dynamics
// re-checks after a reversal.
TEST(EdgeRuleTest, DependentsAreTheCellsThatSumASpin) {
  for (const Boundary boundary : {Boundary::EdgeCopy, Boundary::Periodic, Boundary::Open}) {
    for (int n = 1; n <= 7; ++n) {
      const EdgeRule rule(n, boundary);
      std::set<std::pair<Site, Site>> sums, dependents;  // (cell, neighbour it sums)
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
          rule.ForNeighbours(i, j, [&](Cell c) {
            ASSERT_TRUE(c.i >= 1 && c.j >= 1 && c.i <= n && c.j <= n);
            sums.insert({{i, j}, {c.i, c.j}});
          });
          rule.ForDependents(i, j, [&](Cell c) { dependents.insert({{c.i, c.j}, {i, j}}); });
        }
      EXPECT_EQ(sums, dependents) << "boundary " << static_cast<int>(boundary) << " side " << n;
    }
  }
}

}  // namespace
