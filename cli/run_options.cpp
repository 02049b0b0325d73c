#include "cli/run_options.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string_view>

#include "form/field_numbers.h"
#include "base/utf8.h"
#include "model/utc_clock.h"

namespace ebsim {

namespace {


constexpr std::uint32_t kLastMillisecond = 86399999;

std::uint32_t ParseSeed(const std::string& text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > kLastMillisecond)
    throw std::invalid_argument("--seed-ms takes milliseconds since midnight, 0 to 86399999: '" + text + "'");
  return value;
}

}  // namespace

char32_t SingleCharacter(const std::string& text) {
  const char32_t c = DecodeSingleUtf8(text);
  if (c == kNotOneCharacter) throw std::invalid_argument("--sep takes one character: '" + text + "'");
  return c;
}

char32_t DecimalSeparatorOption(const std::string& text) {
  const char32_t c = SingleCharacter(text);
  // Characters of number, list and range texts, blanks and controls would
  // make texts mean something else.
  const bool taken = (c >= U'0' && c <= U'9') || std::u32string_view(U"+-eE$xX;: ").find(c) != std::u32string_view::npos;
  const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  if (taken || control)
    throw std::invalid_argument("--sep takes a character that cannot be part of a number, list or range: '" + text +
                                "'");
  // Grid texts stand in the tables, where "#" starts a comment for pandas
  // (comment='#') and gnuplot.
  if (c == U'#') throw std::invalid_argument("--sep cannot be '#': the tables' readers take it for a comment");
  return c;
}

CommonOptions ParseCommonOptions(const CommandSpec& command, std::span<const std::string> args) {
  const ParsedArgs parsed = ParseArgs(command, args);
  CommonOptions options;
  options.help = parsed.help;
  options.flags = parsed.flags;
  options.positionals = parsed.positionals;
  options.commandLine = {"ebsim", command.name};
  options.commandLine.insert(options.commandLine.end(), args.begin(), args.end());
  for (const auto& [name, value] : parsed.values) {
    const auto inputs = Inputs();
    const auto input =
        std::find_if(inputs.begin(), inputs.end(), [&](const InputEntry& o) { return name == o.option; });
    if (input != inputs.end())
      options.texts[input->input] = value;
    else if (name == "seed-ms")
      options.seedMs = ParseSeed(value);
    else if (name == "sep")
      options.separator = DecimalSeparatorOption(value);
    else
      options.values[name] = value;
  }
  return options;
}

HeadlessFields PrepareFields(const CommonOptions& options) {
  HeadlessFields fields(DecimalSeparator(options.separator.value_or(U'.')));
  for (const auto& [field, text] : options.texts) fields.Set(field, text);
  return fields;
}

std::uint32_t SeedOrClock(const CommonOptions& options) {
  return options.seedMs ? *options.seedMs : SystemClock().MillisecondsSinceMidnight();
}

}  // namespace ebsim
