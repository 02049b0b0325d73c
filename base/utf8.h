#pragma once
// UTF-8 as the program reads and writes it: strict decoding (no overlong
// forms, no surrogates, nothing above U+10FFFF).

#include <cstddef>
#include <string>
#include <string_view>

namespace ebsim {

inline constexpr char32_t kNotOneCharacter = 0xFFFFFFFF;

// The length of the well-formed UTF-8 character at the start of `text`, or
// 0 when it does not start with one.
std::size_t Utf8CharacterLength(std::string_view text);

// The code point of a text that is exactly one well-formed character, or
// kNotOneCharacter.
char32_t DecodeSingleUtf8(std::string_view text);

// Whether c is a Unicode scalar value (no surrogate, at most U+10FFFF).
bool IsUnicodeScalar(char32_t c);
// c as UTF-8; c must be a scalar value.
std::string EncodeUtf8(char32_t c);
// Characters in a UTF-8 text (bytes that do not continue a character).
std::size_t CodePointCount(std::string_view text);
// The first `count` characters of a UTF-8 text.
std::string FirstCodePoints(const std::string& text, std::size_t count);

// The text with every byte that is not part of a well-formed character
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace ebsim
