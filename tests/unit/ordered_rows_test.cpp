// The window of a sweep's rows: rows that finish in any order are handed
// over in item order, no item is taken beyond the rows released, a stop
// lets the rows beyond a gap follow, and rows that do not belong are refused.

#include "batch/ordered_rows.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace ebsim;

namespace {

struct Case {
  const char* name;
  std::uint64_t total, window;
  // One step a line: "take K ..." (the items taken in turn), "full" (none
  // may be taken), "put K ..." (rows accepted), "refuse K" (a row refused),
  // "pop K ..." / "popall K ..." (the rows handed over), "release",
  // "finished N", "complete" / "incomplete".
  const char* script;
};

std::vector<std::uint64_t> Numbers(std::istringstream& line) {
  std::vector<std::uint64_t> numbers;
  for (std::uint64_t k; line >> k;) numbers.push_back(k);
  return numbers;
}

std::vector<std::uint64_t> Indices(const std::vector<SweepRow>& rows) {
  std::vector<std::uint64_t> indices;
  for (const SweepRow& row : rows) indices.push_back(row.index);
  return indices;
}

void Step(OrderedRows& rows, const std::string& text) {
  SCOPED_TRACE(text);
  std::istringstream line(text);
  std::string op;
  line >> op;
  const std::vector<std::uint64_t> items = Numbers(line);
  if (op == "take") {
    for (const std::uint64_t item : items) EXPECT_EQ(rows.Take(), item);
  } else if (op == "full") {
    EXPECT_FALSE(rows.MayTake());
    EXPECT_EQ(rows.Take(), std::nullopt);
  } else if (op == "put" || op == "refuse") {
    for (const std::uint64_t item : items) {
      SweepRow row;
      row.index = item;
      EXPECT_EQ(rows.Put(item, std::move(row)), op == "put");
    }
  } else if (op == "pop" || op == "popall") {
    EXPECT_EQ(Indices(rows.PopReady(op == "popall")), items);
  } else if (op == "release") {
    rows.Release();
  } else if (op == "finished") {
    EXPECT_EQ(rows.FinishedCount(), items.at(0));
  } else {
    ASSERT_TRUE(op == "complete" || op == "incomplete");
    EXPECT_EQ(rows.Complete(), op == "complete");
  }
}

TEST(OrderedRowsTest, HandsRowsOverInOrderWithinTheWindow) {
  const Case cases[] = {
      {"rows that finish out of order wait for the ones before", 4, 4,
       "take 0 1 2 3\nfull\nput 3 1\npop\nput 2\npop\nincomplete\nput 0\npop 0 1 2 3\ncomplete"},
      {"the window counts from the rows released, not those popped", 10, 2,
       "take 0 1\nfull\nput 0\nfull\npop 0\nfull\nrelease\ntake 2\nfull\nput 1 2\npop 1 2\nrelease\ntake 3 4\nfull"},
      {"a gap holds back every row after it, and a stop lets them follow", 6, 6,
       "take 0 1 2 3 4 5\nput 0 4 2\npop 0\npop\npopall 2 4\nfinished 3\nincomplete\nrefuse 1 3\nput 5\npop 5"},
      {"rows not taken, put twice or past their place are refused", 3, 3,
       "take 0 1\nrefuse 2 7\nput 0\nrefuse 0\npop 0\nrefuse 0\nput 1\ntake 2\nput 2\npop 1 2\nfinished 3\ncomplete"},
      {"nothing is taken beyond the last item", 2, 8, "take 0 1\nfull\nput 1 0\npop 0 1\nrelease\nfull\ncomplete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OrderedRows rows(c.total, c.window);
    std::istringstream script(c.script);
    for (std::string line; std::getline(script, line);) Step(rows, line);
  }
}

}  // namespace
