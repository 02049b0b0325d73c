#pragma once

namespace ebsim {

// The processors this process may run on (its affinity mask), at least 1.
unsigned UsableCores();

}  // namespace ebsim
