// Feeds arbitrary text to the number readers, and checks that every real we
// can read or meet is written as text that reads back to the same number
// (to the 15 digits written) and fits a read-out.
//
// The first byte picks the decimal separator: "," for ",", U+066B (two bytes
// in UTF-8) for its lead byte 0xD9, "." otherwise. The whole input is the text.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "base/errors.h"
#include "base/number_format.h"
#include "base/number_reading.h"
#include "base/readout_text.h"

using namespace ebsim;

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

char32_t SeparatorFor(std::uint8_t first) {
  if (first == ',') return U',';
  if (first == 0xD9) return U'\u066B';
  return U'.';
}

std::size_t CodePointCount(const std::string& text) {
  std::size_t count = 0;
  for (char byte : text) count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return count;
}

// The message quotes the text unchanged, NUL characters included.
bool QuotesText(const EConvertError& error, const std::string& text, const char* what) {
  const std::string expected = "'" + text + "' is not a valid " + what + " value";
  return error.Message() == expected;
}

// The separator of the input at hand, chosen by its first byte.
DecimalSeparator separator;

std::optional<long double> TryReadReal(const std::string& text) {
  try {
    return ReadRealField(text, separator);
  } catch (const EConvertError& error) {
    Check(QuotesText(error, text, "floating point"));
    return std::nullopt;
  }
}

void CheckInteger(const std::string& text) {
  try {
    (void)ReadIntegerField(text);
  } catch (const EConvertError& error) {
    Check(QuotesText(error, text, "integer"));
  }
}

// Five characters, or longer only as the one-digit exponent form.
void CheckReadout(long double x) {
  const std::string text = ReadoutText(x, separator);
  const std::size_t width = CodePointCount(text);
  if (width == 5) return;
  Check(width > 5 && text.find('E') != std::string::npos &&
        text.find(separator.Text()) == std::string::npos);
}

void CheckWrittenText(long double x) {
  CheckReadout(x);
  const std::string text = FormatReal(x, separator);
  if (text.find("INF") != std::string::npos || text.find("NAN") != std::string::npos) return;
  const std::optional<long double> back = TryReadReal(text);
  Check(back.has_value());
  // Just above the smallest normal number, 15 digits may round below it; the
  // number read back is then a denormal, written as "0".
  if (std::fpclassify(*back) == FP_SUBNORMAL) return;
  Check(FormatReal(*back, separator) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  separator = DecimalSeparator(size > 0 ? SeparatorFor(data[0]) : U'.');
  const std::string text(reinterpret_cast<const char*>(data), size);

  CheckInteger(text);
  if (const auto x = TryReadReal(text)) CheckWrittenText(*x);

  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckWrittenText(raw);
  }
  return 0;
}
