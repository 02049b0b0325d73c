#pragma once

namespace ebsim {
// The window's controls: the input fields, the read-outs and the panels.
// The runs know the fields and read-outs by their physical names only
// (model/physics_names.h); the catalogue maps those to these.

enum class InputField { Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit10 };

enum class Readout {
  MaskEdit1,   // "Applied Field"
  MaskEdit2,   // "Magnetization"
  MaskEdit3,   // "E-B Shift"
  MaskEdit4,   // "Coercivity"
  MaskEdit5,   // "Vertical Shift"
  MaskEdit6,   // "Open End"
  MaskEdit7,   // "+1 spins at H_min."
  MaskEdit8,   // "-1 spins at H_max"
  MaskEdit10,  // "Surface Ratio" / "of Dilution"
};
inline constexpr int kReadoutCount = 9;

// Panels that a run repaints from their own pen and brush.
enum class Panel { Shape1, Shape2, Shape3, Shape4, Shape22 };

}  // namespace ebsim
