#pragma once
// Number text in and out: the edit fields are read as integers or reals,
// reals are written in general format with 15 significant digits, and a
// read-out shows a number in its five-character field.

#include <cstdint>
#include <string>

namespace ebsim {


// The decimal separator shared by reading and writing reals. It follows the
// user's locale; "." until someone sets it.
char32_t DecimalSeparator();
void SetDecimalSeparator(char32_t separator);
// The separator as UTF-8 text.
std::string DecimalSeparatorText();

// The whole text as a 32-bit integer (decimal with optional sign, or
// hexadecimal after "$", "x", "X" or "0x"); EConvertError
// "'<text>' is not a valid integer value" otherwise.
std::int32_t ReadIntegerField(const std::string& text);
// The whole text as an extended real; EConvertError
// "'<text>' is not a valid floating point value" otherwise.
long double ReadRealField(const std::string& text);

// General format, 15 significant digits: "0.0425", "-12.5", "1E-5",
// "1.23456789012346E15", "INF", "NAN".
std::string FormatReal(long double x);
// The same with the given separator, whatever separator is in force.
std::string FormatReal(long double x, const std::string& separator);

// The text a read-out shows for x: FormatReal(x) fitted to five characters
// without ever changing the number's magnitude.
std::string ReadoutText(long double x);

}  // namespace ebsim
