#pragma once
// Every read-out the files, the JSON and Python give, in the order they
// give them: the window's nine (form/catalogue.h), then the loop in the
// standard conventions, from the same two crossing fields as the window's
// E-B shift and coercivity. The window shows only its nine.

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "form/headless_form.h"
#include "model/loop_crossings.h"

namespace ebsim {

struct WrittenReadout {
  const char* id;       // identifier in files, JSON and Python
  const char* meaning;  // how it is reckoned
  const char* unit;
};

inline constexpr std::size_t kStandardReadoutCount = 4;
inline constexpr std::size_t kWrittenReadoutCount = kQuantityCount + kStandardReadoutCount;
// The written read-outs' numbers in that order, rounded to double; none
// where a read-out is blank.
using ReadoutNumbers = std::array<std::optional<double>, kWrittenReadoutCount>;

// The window's read-outs (as Quantity), then h_down, h_up, loop_centre,
// loop_half_width.
std::span<const WrittenReadout> WrittenReadouts();

// h_down, h_up, (h_down + h_up) / 2 and (h_up - h_down) / 2, the last two
// reckoned in extended precision.
std::array<double, kStandardReadoutCount> StandardReadouts(const LoopCrossings& crossings);

// A Run's numbers: the standard four only where its E-B shift shows one,
// so that they are blank exactly where the window's are.
ReadoutNumbers WrittenNumbers(const HeadlessReadouts& readouts, const std::optional<LoopCrossings>& crossings);

}  // namespace ebsim
