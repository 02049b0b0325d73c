// ebsim-render: draws the window offscreen for `ebsim render`, which checks
// the options and hands them over. Kept apart so that ebsim itself never
// loads the window's toolkit.

#include "app/window_render.h"

using namespace ebsim;

int main(int argc, char** argv) { return RenderMain(argc, argv); }
