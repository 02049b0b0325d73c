#pragma once
// What the runs are given and what they measure, by their physical names.
// The window's fields and read-outs, ebsim's options, the files' columns
// and the Python names are all mapped from these in form/catalogue.h.

namespace ebsim {

// The inputs of the three runs.
enum class Input {
  Side,         // side N of the square lattice
  Dilution,     // fraction of sites given the enhanced exchange constant
  Enhancement,  // exchange constant of the enhanced sites
  FieldSd,      // standard deviation of the random field
  H0,           // applied field at the start and end of the loop
  Hmin,         // applied field at the turning point
  Steps,        // field steps over the whole loop
};
inline constexpr int kInputCount = 7;

// What the runs measure, in the order ebsim writes them.
enum class Quantity {
  SurfaceRatio,      // fraction of the sites that drew the enhanced constant
  EbShift,           // exchange-bias shift of the loop
  Coercivity,        // width of the loop at M = 0
  VerticalShift,     // from the extremes of M on the ascending branch
  Magnetization,     // M after the last field step
  AppliedField,      // H of the last field step
  OpenEnd,           // 1 - M at the end of the loop
  PlusSpinsAtHmin,   // fraction of +1 spins at the turning point
  MinusSpinsAtHmax,  // fraction of -1 spins at the end of the ascending branch
};
inline constexpr int kQuantityCount = 9;

}  // namespace ebsim
