#pragma once
// Where the four map panels show the lattice's sites: the squares of the
// shown block, on a 4-pixel pitch from each panel's origin.

namespace ebsim {

// Only cells with both indices up to this are shown in the map panels.
inline constexpr int kShownSide = 70;

// The square that shows cell (i, j) in a map panel whose origin is
// (x, y): 5 x 5 pixels on a 4-pixel pitch, i along x and j along y.
struct SiteSquare {
  int left, top, right, bottom;
};
constexpr SiteSquare SiteSquareAt(int originX, int originY, int i, int j) {
  return {originX + 4 * i, originY + 4 * j, originX + 4 * i + 5, originY + 4 * j + 5};
}
constexpr bool IsShown(int i, int j) { return i <= kShownSide && j <= kShownSide; }

// Panel origins of the four maps.
struct PanelOrigin {
  int x, y;
};
inline constexpr PanelOrigin kExchangePanel{21, 20};
inline constexpr PanelOrigin kRandomFieldPanel{317, 20};
inline constexpr PanelOrigin kEnergyPanel{21, 342};
inline constexpr PanelOrigin kSpinPanel{317, 342};

}  // namespace ebsim
