#pragma once
// The fields where M last changed sign on the two branches of a loop, as
// the E-B shift and the coercivity were reckoned from them.

namespace ebsim {

struct LoopCrossings {
  double down = 0;  // H_down, on the descending branch
  double up = 0;    // H_up, on the ascending branch
};

}  // namespace ebsim
