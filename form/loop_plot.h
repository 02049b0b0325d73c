#pragma once
// The frame of the hysteresis-loop plot in the loop panel, and the mapping
// from field and magnetization to window pixels that the trace uses.

#include <cstdint>

#include "form/form_fields.h"

namespace ebsim {

// The field axis' scale, derived while the frame is drawn.
struct LoopScale {
  double InitFieldX = 0;  // x of the initial field (right end of the sweep)
  double MinFieldX = 0;   // x of the minimum field (left end)
  double FieldScale = 0;  // pixels per unit of field
  long double H0 = 0;     // the initial field as read
};

// Draws the axes, ticks and labels for the fields H0 and Hmin on top
// of whatever the loop panel shows, and returns the scale. Raises
// EZeroDivide for a field of -0.5 or a minimum of 0.5, EInvalidOp for two
// zero fields or a tick position beyond the 64-bit range.
LoopScale DrawLoopFrame(const FormPort& port);

// Window x of field H and window y of magnetization M.
std::int64_t PlotX(const LoopScale& scale, double H);
std::int64_t PlotY(double M);

}  // namespace ebsim
