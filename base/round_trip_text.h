#pragma once
// A double as a field text that reads back as the same double.

#include <string>

namespace ebsim {

// The shortest decimal text of x (as Python's repr writes it, with "." as
// the separator) when ReadRealField gives back x from it once rounded to
// double; otherwise the fewest significant digits that do (at most 21,
// which always do: a double is exact in extended precision). Non-finite
// values come out as "inf", "-inf" and "nan", which no field reads.
std::string RoundTripText(double x);

}  // namespace ebsim
