#include "run/written_readouts.h"

#include "form/catalogue.h"

namespace ebsim {

namespace {

constexpr WrittenReadout kStandard[kStandardReadoutCount] = {
    {"h_down", "H_down, where M last changed sign on the descending branch (the one E-B Shift and Coercivity take)",
     "J"},
    {"h_up", "H_up, where M last changed sign on the ascending branch (the one E-B Shift and Coercivity take)", "J"},
    {"loop_centre", "(H_down + H_up) / 2, the loop's centre on the field axis: the exchange-bias field", "J"},
    {"loop_half_width", "(H_up - H_down) / 2, half the loop's width at M = 0: the coercive field", "J"},
};

// The window's nine from the catalogue, then the standard four.
std::array<WrittenReadout, kWrittenReadoutCount> MakeTable() {
  std::array<WrittenReadout, kWrittenReadoutCount> table{};
  std::size_t k = 0;
  for (const ReadoutEntry& entry : Readouts()) table[k++] = {entry.id, entry.meaning, entry.unit};
  for (const WrittenReadout& standard : kStandard) table[k++] = standard;
  return table;
}

}  // namespace

std::span<const WrittenReadout> WrittenReadouts() {
  static const std::array<WrittenReadout, kWrittenReadoutCount> table = MakeTable();
  return table;
}

std::array<double, kStandardReadoutCount> StandardReadouts(const LoopCrossings& crossings) {
  const long double down = crossings.down, up = crossings.up;
  return {crossings.down, crossings.up, static_cast<double>((down + up) / 2), static_cast<double>((up - down) / 2)};
}

ReadoutNumbers WrittenNumbers(const HeadlessReadouts& readouts, const std::optional<LoopCrossings>& crossings) {
  ReadoutNumbers numbers{};
  for (std::size_t k = 0; k < kQuantityCount; ++k)
    if (const auto value = readouts.Of(static_cast<Quantity>(k)).value) numbers[k] = static_cast<double>(*value);
  if (crossings && readouts.Of(Quantity::EbShift).value) {
    const std::array<double, kStandardReadoutCount> standard = StandardReadouts(*crossings);
    for (std::size_t k = 0; k < kStandardReadoutCount; ++k) numbers[kQuantityCount + k] = standard[k];
  }
  return numbers;
}

}  // namespace ebsim
