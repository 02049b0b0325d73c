#include "base/json_text.h"

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

std::string JsonNumber(double value) { return ShortestText(value); }

}  // namespace ebsim
