#pragma once
// The read-outs by their captions on the window, in the window's order.

#include <span>

#include "form/controls.h"

namespace ebsim {

struct ReadoutName {
  const char* caption;
  Readout field;
};

std::span<const ReadoutName> ReadoutNames();

}  // namespace ebsim
