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

// The text with every byte that is not part of a well-formed character
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace ebsim
