#include "cli/progress_bar.h"

#include <algorithm>
#include <string>

namespace ebsim {

ProgressBar::ProgressBar(std::FILE* out, std::size_t total, const char* unit, bool terminal, std::size_t already)
    : out_(out), total_(total), already_(already), unit_(unit), terminal_(terminal), start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

void ProgressBar::Update(std::size_t done) {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < (terminal_ ? std::chrono::milliseconds(100) : std::chrono::milliseconds(5000))) return;
  lastDraw_ = now;
  Draw(done);
}

void ProgressBar::Finish(std::size_t done) {
  if (!terminal_) return;
  Draw(done);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void ProgressBar::Draw(std::size_t done) {
  constexpr int kWidth = 30;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::size_t finished = done > already_ ? done - already_ : 0;
  const double fraction = total_ ? static_cast<double>(done) / static_cast<double>(total_) : 1;
  const int filled = std::clamp(static_cast<int>(fraction * kWidth), 0, kWidth);
  const std::string bar = std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(kWidth - filled), '-');
  // No rate and no time left before a row is finished: they would say nothing true.
  char pace[64] = "";
  if (finished > 0 && seconds > 0) {
    const double rate = static_cast<double>(finished) / seconds;
    const double left = static_cast<double>(total_ - std::min(done, total_)) / rate;
    std::snprintf(pace, sizeof pace, terminal_ ? "  %.1f/s  %.0fs left" : ", %.1f/s, %.0fs left", rate, left);
  }
  if (!terminal_) {
    std::fprintf(out_, "progress: %zu/%zu %s%s\n", done, total_, unit_, pace);
    std::fflush(out_);
    return;
  }
  std::fprintf(out_, "\r[%s] %zu/%zu %s%s   ", bar.c_str(), done, total_, unit_, pace);
  std::fflush(out_);
}

}  // namespace ebsim
