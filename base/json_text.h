#pragma once
// Just enough JSON for ebsim's output.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ebsim {

// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);
// A JSON number: the shortest text that reads back as the same double.
std::string JsonNumber(double value);
// A JSON value on one line, as nlohmann's compact dump writes it but for
// the floating-point numbers, which take JsonNumber's text, so that the
// JSON and the tables write every number alike (infinities and NaN: null).
std::string JsonText(const nlohmann::ordered_json& value);

}  // namespace ebsim
