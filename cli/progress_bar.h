#pragma once
// A one-line progress bar with the rate and the time left, redrawn in place
// on a terminal at most ten times a second.

#include <chrono>
#include <cstddef>
#include <cstdio>

namespace ebsim {

class ProgressBar {
 public:
  ProgressBar(std::FILE* terminal, std::size_t total, const char* unit);
  void Update(std::size_t done);
  // Leaves the last state on its line.
  void Finish(std::size_t done);

 private:
  void Draw(std::size_t done);

  std::FILE* out_;
  std::size_t total_;
  const char* unit_;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

}  // namespace ebsim
