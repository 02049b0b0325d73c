// The window's loop file says how to repeat its loop with `ebsim run`, and
// says so only when the buttons pressed are what `ebsim run` does.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "run/simulator.h"

using namespace ebsim;

namespace {

TEST(SetUpRecordTest, RepeatableOnlyForOneDrawWithTheSameTexts) {
  struct Case {
    const char* presses;  // E: exchange, R: random fields, L: loop, S: side 7 typed
    std::optional<std::string> why;
  };
  const Case cases[] = {
      {"ERL", std::nullopt},
      {"ERLL", std::nullopt},
      {"RERL", std::nullopt},
      {"EL", "the random fields were not drawn after the exchange constants"},
      {"ERRL", "the random fields were drawn 2 times"},
      {"ER", "no Run after the set-up"},
      {"ERLR", "the random fields were drawn 2 times"},
      {"ESRL", "the inputs changed between the buttons"},
      {"ERSL", "the inputs changed between the buttons"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.presses);
    Simulator simulator(std::make_unique<FixedClock>(1234));
    HeadlessFields fields;
    fields.Set(Input::Side, "5");
    HeadlessReadouts readouts;
    const FormPort port{fields, readouts, nullptr};
    for (const char* p = c.presses; *p; ++p) {
      if (*p == 'E') simulator.SetUpExchange(port);
      if (*p == 'R') simulator.SetUpRandomFields(port);
      if (*p == 'L') simulator.RunLoop(port);
      if (*p == 'S') fields.Set(Input::Side, "7");
    }
    ASSERT_TRUE(simulator.LastSetUp());
    EXPECT_EQ(simulator.LastSetUp()->seedMs, 1234u);
    EXPECT_EQ(NotRepeatable(*simulator.LastSetUp()), c.why);
  }
}

TEST(SetUpRecordTest, TheCommandQuotesEveryTextForTheShell) {
  SetUpRecord record{86399999, HeadlessFields(DecimalSeparator(U',')), std::nullopt, std::nullopt, 0};
  record.exchangeTexts.Set(Input::Dilution, "0,1'; rm x");
  const std::string command = RepeatCommand(record);
  EXPECT_EQ(command.rfind("ebsim run --seed-ms 86399999 --side '20' --dilution '0,1'\\''; rm x' ", 0), 0u) << command;
  EXPECT_NE(command.find(" --sep ','"), std::string::npos) << command;
}

}  // namespace
