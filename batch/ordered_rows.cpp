#include "batch/ordered_rows.h"

#include <utility>

namespace ebsim {

std::optional<std::uint64_t> OrderedRows::Take() {
  if (!MayTake()) return std::nullopt;
  return next_++;
}

bool OrderedRows::Put(std::uint64_t item, SweepRow row) {
  if (item >= next_ || item < handed_ || !done_.emplace(item, std::move(row)).second) return false;
  ++finished_;
  return true;
}

std::vector<SweepRow> OrderedRows::PopReady(bool beyondGaps) {
  std::vector<SweepRow> ready;
  while (NextReady() || (beyondGaps && !done_.empty())) {
    const auto first = done_.begin();
    ready.push_back(std::move(first->second));
    handed_ = first->first + 1;
    done_.erase(first);
  }
  return ready;
}

}  // namespace ebsim
