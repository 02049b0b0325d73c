#include "base/json_text.h"

#include <cmath>
#include <cstdio>

#include "base/round_trip_text.h"
#include "base/utf8.h"

namespace ebsim {

std::string JsonString(std::string_view raw) {
  // Bytes that are not UTF-8 would make the whole text unreadable as JSON.
  const std::string text = ValidUtf8(raw);
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  // A whole number keeps a fraction, so that JSON readers take it for a
  // floating-point number ("-0.0" keeps its sign, "1.0" stays a float).
  std::string text = ShortestText(value);
  if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
  return text;
}

namespace {

void AppendJson(const nlohmann::ordered_json& value, std::string& out) {
  switch (value.type()) {
    case nlohmann::ordered_json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : value.items()) {
        if (!first) out += ',';
        first = false;
        out += JsonString(key);
        out += ':';
        AppendJson(item, out);
      }
      out += '}';
      return;
    }
    case nlohmann::ordered_json::value_t::array: {
      out += '[';
      for (std::size_t k = 0; k < value.size(); ++k) {
        if (k) out += ',';
        AppendJson(value[k], out);
      }
      out += ']';
      return;
    }
    case nlohmann::ordered_json::value_t::string: out += JsonString(value.get_ref<const std::string&>()); return;
    case nlohmann::ordered_json::value_t::number_float: {
      const double x = value.get<double>();
      out += std::isfinite(x) ? JsonNumber(x) : "null";
      return;
    }
    default: out += value.dump(); return;  // null, booleans, integers
  }
}

}  // namespace

std::string JsonText(const nlohmann::ordered_json& value) {
  std::string out;
  AppendJson(value, out);
  return out;
}

}  // namespace ebsim
