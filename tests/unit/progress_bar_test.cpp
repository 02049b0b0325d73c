#include "cli/progress_bar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace ebsim {
namespace {

// The lines a bar drew, read back from its file.
std::string Drawn(std::FILE* file) {
  std::fflush(file);
  std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

// No rate and no time left until a row is finished here: not at the start,
// nor for the rows a resumed sweep took over.
TEST(ProgressBarTest, ShowsARateOnlyOnceARowIsFinished) {
  for (const std::size_t already : {std::size_t{0}, std::size_t{5}}) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ProgressBar bar(file, 10, "rows", true, already);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    bar.Update(already);
    const std::string before = Drawn(file);
    EXPECT_NE(before.find(std::to_string(already) + "/10 rows"), std::string::npos) << before;
    EXPECT_EQ(before.find("/s"), std::string::npos) << before;
    EXPECT_EQ(before.find("left"), std::string::npos) << before;
    std::fseek(file, 0, SEEK_END);
    bar.Finish(already + 1);
    const std::string after = Drawn(file);
    EXPECT_NE(after.find("/s"), std::string::npos) << after;
    EXPECT_NE(after.find("s left"), std::string::npos) << after;
    std::fclose(file);
  }
}

}  // namespace
}  // namespace ebsim
