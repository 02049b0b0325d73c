// The sorted lists against every site's flip field computed on its own:
// walked from any field, up or down, the heads that are their sites' give
// each site's flip field once, in order, and none the field has passed;
// the sort in chunks gives the order of one sort.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "engine/flip_field.h"
#include "engine/sorted_flip_fields.h"
#include "engine/worker_pool.h"

using namespace ebsim;

namespace {

struct Sites {
  std::vector<double> q;
  std::vector<double> F;  // each site's neighbour field now
  std::vector<int> type;  // 0 or 1
};

// Random fields on a coarse grid (many ties) or Gaussian; neighbour fields
// from each type's own values.
Sites Draw(std::mt19937_64& rng, std::size_t count, bool ties) {
  const std::vector<double> values[2] = {{-4, -2, 0, 2, 4}, {-3, -1, 1, 3}};
  std::normal_distribution<double> gauss(0.0, 2.0);
  Sites sites;
  for (std::size_t s = 0; s < count; ++s) {
    const int t = static_cast<int>(rng() % 2);
    sites.type.push_back(t);
    sites.F.push_back(values[t][rng() % values[t].size()]);
    sites.q.push_back(ties ? std::round(gauss(rng) * 2) / 2 : gauss(rng));
  }
  return sites;
}

TEST(SortedFlipFieldsTest, DueHeadsGiveEverySitesFlipFieldOnceInOrder) {
  std::mt19937_64 rng(4711);
  const std::vector<double> values[2] = {{-4, -2, 0, 2, 4}, {-3, -1, 1, 3}};
  for (const bool ties : {false, true}) {
    for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{7}, std::size_t{1}}) {
      const Sites sites = Draw(rng, 3000, ties);
      std::vector<std::uint32_t> order;
      std::vector<SortedFlipFields::Lane> lanes;
      for (int t = 0; t < 2; ++t) {
        const std::size_t begin = order.size();
        for (std::uint32_t s = 0; s < sites.q.size(); ++s)
          if (sites.type[s] == t) order.push_back(s);
        SortedFlipFields::SortByField(order.data() + begin, order.data() + order.size(), sites.q.data(), {}, chunk);
        ASSERT_TRUE(std::is_sorted(order.begin() + static_cast<std::ptrdiff_t>(begin), order.end(),
                                   [&](std::uint32_t a, std::uint32_t b) {
                                     return sites.q[a] < sites.q[b] || (sites.q[a] == sites.q[b] && a < b);
                                   }));
        for (const double F : values[t]) lanes.push_back({F, begin, order.size()});
      }
      SortedFlipFields lists;
      lists.Reset(sites.q.data(), order, lanes);
      for (const bool up : {true, false}) {
        for (const std::optional<double> at : {std::optional<double>{}, std::optional<double>{-1.5},
                                               std::optional<double>{0.0}, std::optional<double>{2.25}}) {
          SCOPED_TRACE(testing::Message() << "ties " << ties << " chunk " << chunk << " up " << up << " at "
                                          << (at ? *at : NAN));
          const std::int8_t spin = up ? -1 : 1;
          std::vector<double> expected;
          for (std::size_t s = 0; s < sites.q.size(); ++s) {
            const double u = FlipFieldOf(spin, sites.F[s], sites.q[s]);
            if (!at || (up ? u > *at : u < *at)) expected.push_back(u);
          }
          lists.Place(up, at);
          std::vector<double> got;
          std::vector<int> seen(sites.q.size(), 0);
          for (auto head = lists.Top(); head; head = lists.Top()) {
            if (sites.F[head->site] == head->F) {
              ASSERT_EQ(head->field, FlipFieldOf(spin, sites.F[head->site], sites.q[head->site]));
              got.push_back(head->field);
              ++seen[head->site];
            }
            lists.Pop();
          }
          ASSERT_TRUE(up ? std::is_sorted(got.begin(), got.end())
                         : std::is_sorted(got.begin(), got.end(), std::greater<double>()));
          std::sort(expected.begin(), expected.end());
          std::sort(got.begin(), got.end());
          ASSERT_EQ(got, expected);
          ASSERT_LE(*std::max_element(seen.begin(), seen.end()), 1);
        }
      }
    }
  }
}

}  // namespace

// A team sorts a split's buckets: the order is the one sort's, for any
// team size and with pieces large enough for the sort by key bytes, whose
// ties arrive out of site order; a throw from `working` on the calling thread stops every
// member and reaches the caller, the team usable after.
TEST(SortedFlipFieldsTest, TeamsSortAsOneThreadAndStopTogether) {
  std::mt19937_64 rng(1210);
  for (const bool ties : {false, true}) {
    const Sites sites = Draw(rng, 50000, ties);
    std::vector<std::uint32_t> expected(sites.q.size());
    for (std::uint32_t s = 0; s < expected.size(); ++s) expected[s] = s;
    std::sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
      return sites.q[a] < sites.q[b] || (sites.q[a] == sites.q[b] && a < b);
    });
    for (const int size : {1, 2, 3}) {
      WorkerPool team(size);
      for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{20000}, std::size_t{1000}, std::size_t{30}}) {
        SCOPED_TRACE(testing::Message() << "ties " << ties << " team " << size << " chunk " << chunk);
        std::vector<std::uint32_t> order(sites.q.size());
        for (std::uint32_t s = 0; s < order.size(); ++s) order[s] = static_cast<std::uint32_t>(order.size() - 1 - s);
        SortedFlipFields::SortByField(order.data(), order.data() + order.size(), sites.q.data(), {}, chunk, &team);
        EXPECT_EQ(order, expected);
        const auto stop = [] { throw std::runtime_error("stopped"); };
        if (chunk < order.size()) {  // split, so `working` is called
          EXPECT_THROW(SortedFlipFields::SortByField(order.data(), order.data() + order.size(), sites.q.data(), stop,
                                                     chunk, &team),
                       std::runtime_error);
        }
      }
      int ran = 0;
      team.Run([&](int member) {
        if (member == 0) ran = 1;
      });
      EXPECT_EQ(ran, 1);
    }
  }
}
