// The memory a process may take: what its control groups leave, read from
// trees of their files as the kernel lays them out, and the margin kept
// free of what the system has available.

#include "base/available_memory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

using namespace ebsim;

namespace {

namespace fs = std::filesystem;

class GroupTree {
 public:
  GroupTree() {
    std::string pattern = (fs::temp_directory_path() / "ebsim_cgroup_XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  ~GroupTree() { fs::remove_all(root_); }
  // Files of one group: name -> text.
  void Group(const std::string& path, const std::map<std::string, std::string>& files) const {
    const fs::path folder = root_ / fs::path(path).relative_path();
    fs::create_directories(folder);
    for (const auto& [name, text] : files) std::ofstream(folder / name) << text;
  }
  std::string Root() const { return root_.string(); }

 private:
  fs::path root_;
};

TEST(AvailableMemoryTest, ControlGroupsLeaveTheirTightestLimitLessWhatTheyHold) {
  const std::string unlimited = "9223372036854771712";
  struct Case {
    const char* what;
    const char* selfCgroup;
    std::map<std::string, std::map<std::string, std::string>> groups;
    std::optional<std::uint64_t> left;
  };
  const Case cases[] = {
      {"a parent tighter than its child",
       "0::/job/step\n",
       {{"/job/step", {{"memory.max", "1000"}, {"memory.current", "600"}, {"memory.stat", "anon 500\ninactive_file 100\n"}}},
        {"/job", {{"memory.max", "800"}, {"memory.current", "700"}}}},
       100},
      {"no limit on the group, one above it",
       "0::/job/step\n",
       {{"/job/step", {{"memory.max", "max"}, {"memory.current", "50"}}},
        {"/job", {{"memory.max", "1000"}, {"memory.current", "200"}}}},
       800},
      {"idle file cache given back; a use above the limit leaves nothing",
       "0::/a\n",
       {{"/a", {{"memory.max", "1000"}, {"memory.current", "1200"}, {"memory.stat", "inactive_file 100\n"}}}},
       0},
      {"the older hierarchy, memory among other controllers",
       "5:cpu,cpuacct:/other\n4:cpuset,memory:/batch/job\n0::/\n",
       {{"/memory/batch/job",
         {{"memory.limit_in_bytes", "2000"}, {"memory.usage_in_bytes", "500"},
          {"memory.stat", "inactive_file 7\ntotal_inactive_file 300\n"}}},
        {"/memory", {{"memory.limit_in_bytes", unlimited}, {"memory.usage_in_bytes", "900"}}},
        {"/cpu/other", {{"memory.limit_in_bytes", "1"}, {"memory.usage_in_bytes", "0"}}}},
       1800},
      {"no group with a limit", "0::/\n3:pids:/x\n", {{"/x", {{"memory.max", "10"}, {"memory.current", "0"}}}},
       std::nullopt},
  };
  for (const Case& c : cases) {
    const GroupTree tree;
    for (const auto& [path, files] : c.groups) tree.Group(path, files);
    EXPECT_EQ(CgroupMemoryLeft(c.selfCgroup, tree.Root()), c.left) << c.what;
  }
}

std::uint64_t SystemAvailable() {
  std::ifstream info("/proc/meminfo");
  for (std::string line; std::getline(info, line);)
    if (line.rfind("MemAvailable:", 0) == 0) return std::stoull(line.substr(13)) * 1024;
  return 0;
}

// A run that took nearly all the system said was available was killed.
TEST(AvailableMemoryTest, ATenthOfWhatTheSystemHasAvailableStaysFree) {
  const std::uint64_t before = SystemAvailable();
  const std::optional<std::uint64_t> offered = AvailableMemoryBytes();
  const std::uint64_t after = SystemAvailable();
  ASSERT_TRUE(offered);
  const std::uint64_t most = std::max(before, after);
  EXPECT_LE(*offered, most - most / 10);
}

}  // namespace
