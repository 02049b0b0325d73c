#include "form/application_title.h"

#include <gtest/gtest.h>

using namespace ebsim;

TEST(ApplicationTitle, ComesFromTheProgramFileName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/work/build/bin/KVORAL_ver_QVTR_03_100", "Kvoral_ver_qvtr_03_100"},
      {"KVORAL_ver_QVTR_03_100.exe", "Kvoral_ver_qvtr_03_100"},
      {"C:\\Programs\\RFIM.Main.EXE", "Rfim"},
      {"/opt/x/window_tests", "window_tests"},
      {"lower", "lower"},
  };
  for (const auto& [path, title] : cases) EXPECT_EQ(TitleFromProgramPath(path), title) << path;
}
