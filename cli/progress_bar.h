#pragma once
// Progress with the rate and the time left: on a terminal a one-line bar
// redrawn in place at most ten times a second; elsewhere (a batch job's
// log) one plain line every few seconds. The rate and the time left come
// from the rows finished since the start, and are shown once there is one.

#include <chrono>
#include <cstddef>
#include <cstdio>

namespace ebsim {

class ProgressBar {
 public:
  // `already`: of the total, done before the start (a resumed sweep's rows).
  ProgressBar(std::FILE* out, std::size_t total, const char* unit, bool terminal = true, std::size_t already = 0);
  void Update(std::size_t done);
  // Leaves the last state on its line.
  void Finish(std::size_t done);

 private:
  void Draw(std::size_t done);

  std::FILE* out_;
  std::size_t total_;
  std::size_t already_;
  const char* unit_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

}  // namespace ebsim
