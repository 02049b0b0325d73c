#include "base/utf8.h"

namespace ebsim {

namespace {

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

char Utf8Byte(char32_t bits) { return static_cast<char>(bits); }

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8CharacterLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  if (b[0] < 0x80) return 1;
  std::size_t length = 0;
  char32_t c = 0, least = 0;
  if ((b[0] >> 5) == 0x6) {
    length = 2, c = b[0] & 0x1F, least = 0x80;
  } else if ((b[0] >> 4) == 0xE) {
    length = 3, c = b[0] & 0x0F, least = 0x800;
  } else if ((b[0] >> 3) == 0x1E) {
    length = 4, c = b[0] & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if (!Continuation(b[k])) return 0;
    c = (c << 6) | (b[k] & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

char32_t DecodeSingleUtf8(std::string_view text) {
  const std::size_t length = Utf8CharacterLength(text);
  if (length == 0 || length != text.size()) return kNotOneCharacter;
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  if (length == 1) return b[0];
  char32_t c = b[0] & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (b[k] & 0x3F);
  return c;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = Utf8CharacterLength(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

bool IsUnicodeScalar(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

std::string EncodeUtf8(char32_t c) {
  std::string text;
  if (c < 0x80) {
    text += Utf8Byte(c);
  } else if (c < 0x800) {
    text += Utf8Byte(0xC0 | (c >> 6));
    text += Utf8Byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    text += Utf8Byte(0xE0 | (c >> 12));
    text += Utf8Byte(0x80 | ((c >> 6) & 0x3F));
    text += Utf8Byte(0x80 | (c & 0x3F));
  } else {
    text += Utf8Byte(0xF0 | (c >> 18));
    text += Utf8Byte(0x80 | ((c >> 12) & 0x3F));
    text += Utf8Byte(0x80 | ((c >> 6) & 0x3F));
    text += Utf8Byte(0x80 | (c & 0x3F));
  }
  return text;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  for (char byte : text) count += IsContinuationByte(byte) ? 0 : 1;
  return count;
}

std::string FirstCodePoints(const std::string& text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size(); ++end) {
    if (!IsContinuationByte(text[end]) && seen++ == count) break;
  }
  return text.substr(0, end);
}

}  // namespace ebsim
