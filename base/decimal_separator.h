#pragma once
// The decimal separator that number texts are read and written with: a
// value handed to the readers and writers, "." unless a locale or an option
// says otherwise.

#include <string>

#include "base/utf8.h"

namespace ebsim {

class DecimalSeparator {
 public:
  DecimalSeparator() = default;
  // No character (0) or no Unicode scalar value falls back to ".".
  explicit DecimalSeparator(char32_t c) : c_(c == 0 || !IsUnicodeScalar(c) ? U'.' : c), text_(EncodeUtf8(c_)) {}

  char32_t CodePoint() const { return c_; }
  // As UTF-8 text.
  const std::string& Text() const { return text_; }
  bool operator==(const DecimalSeparator& other) const { return c_ == other.c_; }

 private:
  char32_t c_ = U'.';
  std::string text_ = ".";
};

}  // namespace ebsim
