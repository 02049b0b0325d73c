// The flip-field heaps against a plain ordered set of every site's spin and
// field, under random moves between the heaps and changes of field, with
// many equal fields.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include "engine/flip_field_heaps.h"

namespace ebsim {
namespace {

TEST(FlipFieldHeapsTest, TopsAndFieldsAreThoseOfAnOrderedSet) {
  struct Case {
    std::size_t sites;
    int distinctFields;  // few: many ties, broken by the site index
  };
  for (const Case c : {Case{1, 3}, Case{2, 2}, Case{3, 1000}, Case{17, 4}, Case{1000, 5}, Case{1000, 100000}}) {
    SCOPED_TRACE(c.sites);
    std::mt19937_64 random(c.sites * 31 + static_cast<std::size_t>(c.distinctFields));
    FlipFieldHeaps heaps;
    heaps.Reset(c.sites);
    std::vector<std::int8_t> spin(c.sites, 0);
    std::vector<double> field(c.sites, 0.0);
    // (-d, s) for the +1 sites, (u, s) for the -1 sites: the top comes first.
    std::set<std::tuple<double, std::size_t>> down, up;
    for (int move = 0; move < 20000; ++move) {
      const std::size_t s = random() % c.sites;
      const std::int8_t to = static_cast<std::int8_t>(static_cast<int>(random() % 3) - 1);
      const double f = static_cast<double>(random() % static_cast<unsigned>(c.distinctFields)) * 0.25 - 2;
      if (spin[s] > 0) down.erase({-field[s], s});
      if (spin[s] < 0) up.erase({field[s], s});
      spin[s] = to;
      field[s] = f;
      if (to > 0) down.insert({-f, s});
      if (to < 0) up.insert({f, s});
      heaps.Set(s, to, f);
      ASSERT_EQ(heaps.TopDown(), down.empty() ? FlipFieldHeaps::kNone : std::get<1>(*down.begin())) << move;
      ASSERT_EQ(heaps.TopUp(), up.empty() ? FlipFieldHeaps::kNone : std::get<1>(*up.begin())) << move;
      const std::size_t probe = random() % c.sites;
      if (spin[probe] != 0) {
        ASSERT_EQ(heaps.Field(probe), field[probe]) << move;
      }
    }
  }
}

}  // namespace
}  // namespace ebsim
