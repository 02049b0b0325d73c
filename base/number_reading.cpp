#include "base/number_reading.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/errors.h"

namespace ebsim {

namespace {

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

}  // namespace

std::int32_t ReadIntegerField(const std::string& text) {
  if (const auto value = ReadInteger(text)) return *value;
  throw EConvertError("'" + text + "' is not a valid integer value");
}

long double ReadRealField(const std::string& text, const DecimalSeparator& separator) {
  if (const auto real = ScanReal(text, separator.Text())) {
    if (const auto value = RealValue(*real)) return *value;
  }
  throw EConvertError("'" + text + "' is not a valid floating point value");
}

}  // namespace ebsim
