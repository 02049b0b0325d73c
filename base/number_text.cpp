#include "base/number_text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/errors.h"

namespace ebsim {

namespace {

// ---------------------------------------------------------------------------
// Decimal separator and UTF-8 text

std::atomic<char32_t> decimal_separator{U'.'};

bool IsUnicodeScalar(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

char Utf8Byte(char32_t bits) { return static_cast<char>(bits); }

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

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  for (char byte : text) count += IsContinuationByte(byte) ? 0 : 1;
  return count;
}

// The first `count` characters of a UTF-8 text.
std::string FirstCodePoints(const std::string& text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size(); ++end) {
    if (!IsContinuationByte(text[end]) && seen++ == count) break;
  }
  return text.substr(0, end);
}

// ---------------------------------------------------------------------------
// Reading

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (IsDecimalDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Walks a text from its first character; every Take consumes only on a match.
class TextCursor {
 public:
  explicit TextCursor(std::string_view text) : rest_(text) {}

  bool AtEnd() const { return rest_.empty(); }
  std::string_view Rest() const { return rest_; }

  bool Take(std::string_view expected) {
    if (expected.empty() || !rest_.starts_with(expected)) return false;
    rest_.remove_prefix(expected.size());
    return true;
  }
  bool Take(char expected) { return Take(std::string_view(&expected, 1)); }

  // Blanks are spaces only: a tab is an ordinary, unwanted character.
  void SkipBlanks() {
    while (Take(' ')) {
    }
  }

  bool AtDigit() const { return !rest_.empty() && IsDecimalDigit(rest_.front()); }
  int TakeDigit() {
    const int digit = rest_.front() - '0';
    rest_.remove_prefix(1);
    return digit;
  }
  // Appends the run of decimal digits here to `digits`; returns its length.
  std::size_t TakeDigits(std::string& digits) {
    std::size_t count = 0;
    for (; AtDigit(); ++count) digits += static_cast<char>('0' + TakeDigit());
    return count;
  }

 private:
  std::string_view rest_;
};

// Hexadecimal digits after the prefix, built as an unsigned 32-bit pattern.
// At most 8 significant digits: a value that already reached 2^28 takes no
// further digit (leading zeros are free).
std::optional<std::int32_t> ReadHexDigits(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || value >= (std::uint32_t{1} << 28)) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);  // "$FFFFFFFF" is -1
}

// An optional sign directly followed by decimal digits up to the end.
std::optional<std::int32_t> ReadDecimalDigits(std::string_view text) {
  TextCursor cursor(text);
  const bool negative = cursor.Take('-');
  if (!negative) cursor.Take('+');
  if (cursor.AtEnd()) return std::nullopt;
  std::int64_t magnitude = 0;
  while (!cursor.AtEnd()) {
    if (!cursor.AtDigit() || magnitude > 214748364) return std::nullopt;
    magnitude = magnitude * 10 + cursor.TakeDigit();
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ReadInteger(std::string_view text) {
  TextCursor cursor(text);
  cursor.SkipBlanks();
  if (cursor.Take('$') || cursor.Take('x') || cursor.Take('X') || cursor.Take("0x") ||
      cursor.Take("0X")) {
    return ReadHexDigits(cursor.Rest());
  }
  return ReadDecimalDigits(cursor.Rest());
}

// A real as written: sign, all mantissa digits as one integer, and the power
// of ten that scales it.
struct RealText {
  bool negative = false;
  std::string digits;
  long long power = 0;
};

// "E" or "e", an optional sign and digits. Digits are taken while the
// exponent is below 500; the digit that passes it is the last one taken.
long long ReadExponent(TextCursor& cursor) {
  if (!cursor.Take('E') && !cursor.Take('e')) return 0;
  const bool negative = cursor.Take('-');
  if (!negative) cursor.Take('+');
  long long exponent = 0;
  while (exponent < 500 && cursor.AtDigit()) exponent = exponent * 10 + cursor.TakeDigit();
  return negative ? -exponent : exponent;
}

std::optional<RealText> ScanReal(std::string_view text, std::string_view separator) {
  TextCursor cursor(text);
  RealText real;
  cursor.SkipBlanks();
  real.negative = cursor.Take('-');
  if (!real.negative) cursor.Take('+');
  const std::size_t integer_digits = cursor.TakeDigits(real.digits);
  const bool has_separator = cursor.Take(separator);
  const std::size_t fraction_digits = has_separator ? cursor.TakeDigits(real.digits) : 0;
  if (integer_digits == 0 && !has_separator) return std::nullopt;
  real.power = ReadExponent(cursor) - static_cast<long long>(fraction_digits);
  cursor.SkipBlanks();
  if (!cursor.AtEnd()) return std::nullopt;
  return real;
}

// Floating-point faults may be trapping in the caller; conversions report
// overflow by their result instead.
class MaskedFloatingPointFaults {
 public:
  MaskedFloatingPointFaults() { std::feholdexcept(&saved_); }
  ~MaskedFloatingPointFaults() { std::fesetenv(&saved_); }
  MaskedFloatingPointFaults(const MaskedFloatingPointFaults&) = delete;
  MaskedFloatingPointFaults& operator=(const MaskedFloatingPointFaults&) = delete;

 private:
  std::fenv_t saved_;
};

// The value of short texts, the usual kind, without the C library: up to 19
// significant digits are exact in extended precision, and so are the powers
// of ten up to 10^27, so one multiplication or division rounds correctly.
std::optional<long double> ShortRealValue(const RealText& real) {
  constexpr long long kExactPowers = 27;
  const std::size_t first = real.digits.find_first_not_of('0');
  if (first == std::string::npos) return real.negative ? -0.0L : 0.0L;
  if (real.digits.size() - first > 19 || real.power > kExactPowers || real.power < -kExactPowers)
    return std::nullopt;
  std::uint64_t mantissa = 0;
  for (std::size_t k = first; k < real.digits.size(); ++k)
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(real.digits[k] - '0');
  long double power = 1;
  for (long long k = 0; k < (real.power < 0 ? -real.power : real.power); ++k) power *= 10;
  const long double magnitude =
      real.power < 0 ? static_cast<long double>(mantissa) / power : static_cast<long double>(mantissa) * power;
  return real.negative ? -magnitude : magnitude;
}

// The value, correctly rounded to extended precision. The text handed to
// strtold has no decimal point, so the C library's locale cannot affect it.
// Underflow quietly gives a denormal or zero; overflow has no value.
std::optional<long double> RealValue(const RealText& real) {
  if (const auto value = ShortRealValue(real)) return value;
  const std::string scientific =
      (real.digits.empty() ? std::string("0") : real.digits) + "e" + std::to_string(real.power);
  const int saved_errno = errno;
  long double value;
  bool overflow;
  {
    MaskedFloatingPointFaults masked;
    errno = 0;
    value = std::strtold(scientific.c_str(), nullptr);
    overflow = errno == ERANGE && std::isinf(value);
  }
  errno = saved_errno;
  if (overflow) return std::nullopt;
  return real.negative ? -value : value;
}

// ---------------------------------------------------------------------------
// Writing

// A magnitude as 0.d1 d2 ... dn times 10^exponent, d1 not zero, no trailing
// zeros.
struct Digits {
  std::string digits;
  int exponent = 0;
};

void DropTrailingZeros(Digits& d) {
  const std::size_t last = d.digits.find_last_not_of('0');
  d.digits.erase(last == std::string::npos ? 1 : last + 1);
}

// Adds one unit in the last digit; 0.999 becomes 0.1 times ten more.
void IncrementLastDigit(Digits& d) {
  for (std::size_t i = d.digits.size(); i-- > 0;) {
    if (d.digits[i] != '9') {
      ++d.digits[i];
      return;
    }
    d.digits[i] = '0';
  }
  d.digits = "1";
  ++d.exponent;
}

// Cut to `count` digits, the last one rounded up when the first digit cut
// off is 5 or more.
Digits RoundedTo(Digits d, std::size_t count) {
  if (d.digits.size() > count) {
    const bool round_up = d.digits[count] >= '5';
    d.digits.resize(count);
    if (round_up) IncrementLastDigit(d);
  }
  DropTrailingZeros(d);
  return d;
}

constexpr int kScaledDigits = 18;
constexpr std::size_t kSignificantDigits = 15;

// The magnitude scaled to 18 digits (correctly rounded), then to 15.
Digits DecimalDigits(long double magnitude) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                    std::chars_format::scientific, kScaledDigits - 1);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  // "d.ddddddddddddddddde+x" or "d.ddddddddddddddddde-x"
  const std::size_t e = text.find('e');
  Digits d;
  d.digits = std::string(1, text[0]) + std::string(text.substr(2, e - 2));
  std::string_view exponent = text.substr(e + 1);
  if (exponent.front() == '+') exponent.remove_prefix(1);
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), d.exponent);
  d.exponent += 1;
  return RoundedTo(d, kSignificantDigits);
}

// d1[.d2...dn]E<exponent - 1>
std::string ExponentForm(const Digits& d, const std::string& separator) {
  std::string text(1, d.digits[0]);
  if (d.digits.size() > 1) text += separator + d.digits.substr(1);
  return text + "E" + std::to_string(d.exponent - 1);
}

std::string FixedForm(const Digits& d, const std::string& separator) {
  if (d.exponent <= 0) {
    return "0" + separator + std::string(static_cast<std::size_t>(-d.exponent), '0') + d.digits;
  }
  const auto integer_length = static_cast<std::size_t>(d.exponent);
  std::string text = d.digits.substr(0, integer_length);
  text.resize(integer_length, '0');
  if (d.digits.size() > integer_length) text += separator + d.digits.substr(integer_length);
  return text;
}

bool UsesExponentForm(const Digits& d) { return d.exponent > 15 || d.exponent < -3; }

// A finite number too large in magnitude to be zero.
struct Normal {
  bool negative;
  Digits digits;
};

std::optional<Normal> NormalValue(long double x) {
  const int kind = std::fpclassify(x);
  if (kind != FP_NORMAL) return std::nullopt;
  return Normal{std::signbit(x), DecimalDigits(std::fabs(x))};
}

std::string SpecialText(long double x) {
  const std::string sign = std::signbit(x) ? "-" : "";
  switch (std::fpclassify(x)) {
    case FP_INFINITE:
      return sign + "INF";
    case FP_NAN:
      return sign + "NAN";
    default:
      return "0";  // zero of either sign, or a denormal
  }
}

std::string NormalText(const Normal& n, const std::string& separator) {
  const std::string sign = n.negative ? "-" : "";
  if (UsesExponentForm(n.digits)) return sign + ExponentForm(n.digits, separator);
  return sign + FixedForm(n.digits, separator);
}

// ---------------------------------------------------------------------------
// Read-outs

constexpr std::size_t kReadoutWidth = 5;

std::string PaddedToReadout(std::string text) {
  const std::size_t length = CodePointCount(text);
  if (length < kReadoutWidth) text.append(kReadoutWidth - length, ' ');
  return text;
}

// Fixed notation whose integer part (sign included) fits and whose cut
// keeps a non-zero digit: only fraction digits are lost by cutting it, and
// a non-zero number never shows as zero.
bool FixedTextCuttable(const Normal& n) {
  if (UsesExponentForm(n.digits)) return false;
  const int sign_length = n.negative ? 1 : 0;
  const int integer_length = std::max(n.digits.exponent, 1) + sign_length;
  // Below 1 the first digit stands after "0", the separator and -exponent zeros.
  const int first_digit = n.digits.exponent > 0 ? sign_length : sign_length + 2 - n.digits.exponent;
  return integer_length <= static_cast<int>(kReadoutWidth) && first_digit < static_cast<int>(kReadoutWidth);
}

// Exponent notation with as many mantissa digits as fit; the one-digit form
// is shown whole even when it does not fit.
std::string ShortExponentText(const Normal& n, const std::string& separator) {
  const std::string sign = n.negative ? "-" : "";
  for (std::size_t count = n.digits.digits.size();; --count) {
    const std::string text = sign + ExponentForm(RoundedTo(n.digits, count), separator);
    if (count == 1 || CodePointCount(text) <= kReadoutWidth) return text;
  }
}

}  // namespace

char32_t DecimalSeparator() { return decimal_separator.load(std::memory_order_relaxed); }

// No separator (0) or no character at all falls back to ".".
void SetDecimalSeparator(char32_t separator) {
  if (separator == 0 || !IsUnicodeScalar(separator)) separator = U'.';
  decimal_separator.store(separator, std::memory_order_relaxed);
}

std::string DecimalSeparatorText() { return EncodeUtf8(DecimalSeparator()); }

std::int32_t ReadIntegerField(const std::string& text) {
  if (const auto value = ReadInteger(text)) return *value;
  throw EConvertError("'" + text + "' is not a valid integer value");
}

long double ReadRealField(const std::string& text) {
  if (const auto real = ScanReal(text, DecimalSeparatorText())) {
    if (const auto value = RealValue(*real)) return *value;
  }
  throw EConvertError("'" + text + "' is not a valid floating point value");
}

std::string FormatReal(long double x) { return FormatReal(x, DecimalSeparatorText()); }

std::string FormatReal(long double x, const std::string& separator) {
  if (const auto normal = NormalValue(x)) return NormalText(*normal, separator);
  return SpecialText(x);
}

std::string ReadoutText(long double x) {
  const std::string text = FormatReal(x);
  if (CodePointCount(text) <= kReadoutWidth) return PaddedToReadout(text);
  // Longer texts come from normal numbers only.
  const Normal normal = *NormalValue(x);
  if (FixedTextCuttable(normal)) return FirstCodePoints(text, kReadoutWidth);
  return PaddedToReadout(ShortExponentText(normal, DecimalSeparatorText()));
}

}  // namespace ebsim
