#pragma once
// A double as the shortest text that reads back as the same double: for
// the files' readers, and for the window's fields.

#include <string>

namespace ebsim {

// The shortest text that a correctly rounding reader (strtod, Python's
// float(), JSON and CSV readers) reads back as x, with "." as the decimal
// point: "0.0325", "1e-05", "-0", "5e-324", "inf", "nan". Every number of
// the tables and the JSON is written so.
std::string ShortestText(double x);

// The shortest decimal text of x (as Python's repr writes it, with "." as
// the separator) when ReadRealField gives back x from it once rounded to
// double; otherwise the fewest significant digits that do (at most 21,
// which always do: a double is exact in extended precision). Non-finite
// values come out as "inf", "-inf" and "nan", which no field reads.
std::string RoundTripText(double x);

}  // namespace ebsim
