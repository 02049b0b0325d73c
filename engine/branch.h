#pragma once

namespace ebsim {

// The two halves of a field sweep.
enum class Branch { Descending, Ascending };

}  // namespace ebsim
