#pragma once
// What a sweep's summary says of each grid point: its realisations, the
// failed ones, and every read-out's mean, standard deviation and standard
// error over exactly the values its rows hold (those the runs table shows).
// The summary CSV and Python's summary both come from here.

#include <array>
#include <cstddef>
#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "batch/runs_lines.h"

namespace ebsim {

// Running statistics of one read-out at one grid point.
struct ReadoutStatistics {
  std::uint64_t count = 0;  // values added
  long double mean = 0;
  long double m2 = 0;       // sum of squared deviations from the mean

  void Add(long double x);
  // None without values.
  std::optional<long double> Mean() const;
  // Sample standard deviation (n - 1); none below two values.
  std::optional<long double> StandardDeviation() const;
  std::optional<long double> StandardError() const;
};

struct PointStatistics {
  std::uint64_t realizations = 0;
  std::uint64_t failed = 0;  // rows with an error
  std::array<ReadoutStatistics, kWrittenReadoutCount> readouts{};  // in the order of WrittenReadouts

  // Every read-out the line holds counts, also in a failed row: a
  // realisation that fails in the Run has shown its set-up's read-outs.
  void Add(const RunsLine& line);
};

// A line of the summary: a grid point, and with a protocol of several
// cycles one of its cycles (from 1; 0 without a cycle column).
struct PointKey {
  std::size_t point = 0;
  std::uint64_t cycle = 0;
  auto operator<=>(const PointKey&) const = default;
};

// The statistics of every grid point (and cycle) from lines that arrive in
// index order: a point is handed on as soon as a line of a later point
// arrives, so only the open points are held, whatever the sweep's size.
class PointTally {
 public:
  using Sink = std::function<void(const PointKey& key, const PointStatistics& statistics)>;
  explicit PointTally(Sink sink) : sink_(std::move(sink)) {}
  void Add(const RunsLine& line);
  // Hands on the points still open.
  void Finish();

 private:
  Sink sink_;
  std::map<PointKey, PointStatistics> open_;
};

}  // namespace ebsim
