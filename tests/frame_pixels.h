#pragma once
// The pixels of the loop frame's lines, for tests that look at the frame.

#include <set>
#include <utility>
#include <vector>

namespace ebsim {

using PixelSet = std::set<std::pair<int, int>>;

// The axes and ticks for a vertical axis at x0 and field ticks at the given
// columns; the magnetization ticks run from x0 - 3 to x0 + 2.
inline PixelSet FramePixels(int x0, const std::vector<int>& ticks) {
  PixelSet p;
  for (int x = 637; x <= 925; ++x) p.insert({x, 487});
  for (int y = 343; y <= 631; ++y) p.insert({x0, y});
  for (int x : ticks)
    for (int y = 485; y <= 490; ++y) p.insert({x, y});
  for (int y : {457, 427, 397, 367, 517, 547, 577, 607})
    for (int x = x0 - 3; x <= x0 + 2; ++x) p.insert({x, y});
  return p;
}

}  // namespace ebsim
