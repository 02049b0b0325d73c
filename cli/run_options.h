#pragma once
// Options shared by the ebsim commands that stand for the window's inputs:
// each value is the text that would stand in the edit field.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/command_options.h"
#include "form/catalogue.h"
#include "model/physics_names.h"
#include "form/headless_form.h"

namespace ebsim {


struct CommonOptions {
  std::map<Input, std::string> texts;  // as given
  std::optional<std::uint32_t> seedMs;
  std::optional<char32_t> separator;
  std::vector<std::string> flags;           // --name given without a value
  std::map<std::string, std::string> values;  // other --name value pairs
  std::vector<std::string> positionals;
  bool help = false;
  std::vector<std::string> commandLine;       // "ebsim", the command, its arguments
};

// Parses the command's arguments (see ParseArgs) and reads the inputs,
// the seed and the separator. Throws std::invalid_argument with a message
// for the user.
CommonOptions ParseCommonOptions(const CommandSpec& command, std::span<const std::string> args);

// The fields with the given texts over the defaults, read with the given
// separator ("." when none is given).
HeadlessFields PrepareFields(const CommonOptions& options);

// The given seed, or the time of day now.
std::uint32_t SeedOrClock(const CommonOptions& options);

// One UTF-8 character as a code point; throws std::invalid_argument.
char32_t SingleCharacter(const std::string& text);
// The --sep character: one that no number, list or range text holds (not a
// digit, sign, "e", "E", "$", "x", "X", ";", ":", blank or control) and
// not "#", which starts the tables' comments; throws std::invalid_argument.
char32_t DecimalSeparatorOption(const std::string& text);

}  // namespace ebsim
