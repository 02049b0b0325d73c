#pragma once
// The options of each ebsim command in one table: their names and aliases,
// whether they take a value, and what they mean (with default and unit),
// from which both the parsing and the help are made.

#include <map>
#include <span>
#include <string>
#include <vector>

namespace ebsim {

struct OptionSpec {
  std::string name;                  // "seed-ms": --seed-ms
  std::vector<std::string> aliases;  // "seed": --seed
  bool takesValue = true;
  std::string valueName;             // "S", "FILE"
  std::string help;                  // meaning, unit and default
};

struct CommandSpec {
  std::string name;
  std::string summary;
  std::vector<OptionSpec> options;
  std::string positionals;  // what positional arguments stand for; empty: none taken
  std::string footer = {};  // what the help says after the options
};

const CommandSpec& RunSpec();
const CommandSpec& SweepSpec();
const CommandSpec& RenderSpec();
const CommandSpec& MergeSpec();
const CommandSpec& StudySpec();
const CommandSpec& RerunSpec();
std::span<const CommandSpec* const> Commands();

// "ebsim --help" and "ebsim CMD --help".
std::string ProgramHelp();
std::string CommandHelp(const CommandSpec& command);
// "ebsim 0.3.0+g1234abcd5678".
std::string VersionText();

struct ParsedArgs {
  std::map<std::string, std::string> values;  // by option name (aliases resolved)
  std::vector<std::string> flags;             // by option name
  std::vector<std::string> positionals;
  bool help = false;                          // --help or -h was given
};

// Reads "--name value", "--name=value", flags and positionals by the
// command's table; throws std::invalid_argument with the message for the
// user ("unknown option --x", "--side needs a value", "--loop takes no
// value", "unexpected argument 'x'").
ParsedArgs ParseArgs(const CommandSpec& command, std::span<const std::string> args);

}  // namespace ebsim
