#pragma once
// Just enough JSON for ebsim's output.

#include <string>
#include <string_view>

namespace ebsim {

// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);
// A JSON number: the shortest text that reads back as the same double.
std::string JsonNumber(double value);

}  // namespace ebsim
