#pragma once
// Progress with the rate and the time left: on a terminal a one-line bar
// redrawn in place at most ten times a second; elsewhere (a batch job's
// log) one plain line every few seconds.

#include <chrono>
#include <cstddef>
#include <cstdio>

namespace ebsim {

class ProgressBar {
 public:
  ProgressBar(std::FILE* out, std::size_t total, const char* unit, bool terminal = true);
  void Update(std::size_t done);
  // Leaves the last state on its line.
  void Finish(std::size_t done);

 private:
  void Draw(std::size_t done);

  std::FILE* out_;
  std::size_t total_;
  const char* unit_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

}  // namespace ebsim
