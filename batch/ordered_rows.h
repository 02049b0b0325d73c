#pragma once
// The rows of a sweep between the work that finishes them in any order and
// the one place that hands them over in item order (items numbered from 0
// over the rows the sweep runs). Items are taken no further ahead of the
// rows released than a window, so that no more than the window's rows are
// ever held, however many the sweep has. Not locked: its owner guards it.

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "batch/sweep_runner.h"

namespace ebsim {

class OrderedRows {
 public:
  OrderedRows(std::uint64_t total, std::uint64_t window) : total_(total), window_(window) {}

  bool AllTaken() const { return next_ >= total_; }
  // Whether the next item may be taken now: one is left, and the window
  // has room for it.
  bool MayTake() const { return !AllTaken() && next_ < released_ + window_; }
  // The next item, when it may be taken.
  std::optional<std::uint64_t> Take();
  // A finished item's row; whether it was taken. An item not taken, already
  // put, or whose place has been passed is refused.
  bool Put(std::uint64_t item, SweepRow row);

  // Whether the row that follows the last one handed over is in.
  bool NextReady() const { return !done_.empty() && done_.begin()->first == handed_; }
  // The rows that follow the last one handed over, in order; with
  // `beyondGaps` (after a stop) every row held, still in order.
  std::vector<SweepRow> PopReady(bool beyondGaps);
  // Gives the places of the rows popped back to the window, once they
  // have been handed over.
  void Release() { released_ = handed_; }

  std::uint64_t FinishedCount() const { return finished_; }
  bool Complete() const { return finished_ == total_; }

 private:
  const std::uint64_t total_, window_;
  std::map<std::uint64_t, SweepRow> done_;  // finished, not handed over
  std::uint64_t next_ = 0, handed_ = 0, released_ = 0, finished_ = 0;
};

}  // namespace ebsim
