#include "batch/point_statistics.h"

#include <cmath>

namespace ebsim {

void ReadoutStatistics::Add(long double x) {
  ++count;
  const long double delta = x - mean;
  mean += delta / static_cast<long double>(count);
  m2 += delta * (x - mean);
}

std::optional<long double> ReadoutStatistics::Mean() const {
  return count ? std::optional(mean) : std::nullopt;
}

std::optional<long double> ReadoutStatistics::StandardDeviation() const {
  if (count < 2) return std::nullopt;
  return std::sqrt(m2 / static_cast<long double>(count - 1));
}

std::optional<long double> ReadoutStatistics::StandardError() const {
  const auto sd = StandardDeviation();
  if (!sd) return std::nullopt;
  return *sd / std::sqrt(static_cast<long double>(count));
}

void PointStatistics::Add(const RunsLine& line) {
  ++realizations;
  if (!line.row->error.empty()) ++failed;
  const ReadoutNumbers& numbers = *line.readouts;
  for (std::size_t k = 0; k < kWrittenReadoutCount; ++k)
    if (numbers[k]) readouts[k].Add(*numbers[k]);
}

void PointTally::Add(const RunsLine& line) {
  const std::size_t point = line.row->point;
  while (!open_.empty() && open_.begin()->first.point < point) {
    sink_(open_.begin()->first, open_.begin()->second);
    open_.erase(open_.begin());
  }
  open_[PointKey{point, line.cycle}].Add(line);
}

void PointTally::Finish() {
  for (const auto& [point, statistics] : open_) sink_(point, statistics);
  open_.clear();
}

}  // namespace ebsim
