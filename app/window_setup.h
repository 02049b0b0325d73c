#pragma once

namespace ebsim {
// Application-wide settings the window relies on, shared by the program and
// by anything else that shows or renders the window.

// Call before the application object is created: the layout is in fixed
// pixels and must not be scaled.
void DisableLayoutScaling();
// Call right after: style and fonts.
void PrepareApplication();

}  // namespace ebsim
