#pragma once
// What a Run shows while it goes: the spin map site by site, one loop point
// per field step, and the progress bar.

#include "form/form_fields.h"
#include "model/lattice_state.h"
#include "engine/branch.h"
#include "form/loop_plot.h"

namespace ebsim {

// Repaints the spin panel empty.
void ClearSpinPanel(DrawingSurface& surface);

// The square of site (i, j) from its spin: black for +1, yellow for -1,
// nothing for any other value. Only sites up to 70 x 70 are shown.
void DrawSpinSquare(DrawingSurface& surface, const LatticeState& lattice, int i, int j);

// The trace pixel of field H and magnetization M.
void PlotLoopPoint(DrawingSurface& surface, const LoopScale& scale, double H, double M);

// The bar's range, 0 to 100.
void SetRunProgressRange(DrawingSurface& surface);

// The bar's position from the field after the step, hAfter: 0 to 50 over
// the descending branch, 50 to 100 over the ascending one, H0 and Hmin read
// from their fields again.
void SetRunProgress(const FormPort& port, Branch branch, double hAfter);

}  // namespace ebsim
