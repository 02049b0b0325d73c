#pragma once
// The model options from the texts ebsim's options take, with the messages
// the command line and Python give for a text refused. `option` names the
// option as the caller's user knows it: "--cycles" or "cycles".

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "run/model_options.h"

namespace ebsim {

// Each option with what it means, for the help and the docstrings: the
// command line's name ("spins-at"), Python's ("spins_at"), the meaning.
struct ModelOptionEntry {
  const char* option;
  const char* keyword;
  const char* meaning;
};
const std::vector<ModelOptionEntry>& ModelOptionEntries();

class ModelOptionError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// "pass" or "stable".
DynamicsRule DynamicsOption(const std::string& text, const std::string& option);
// "edge-copy", "periodic" or "open".
Boundary BoundaryOption(const std::string& text, const std::string& option);
// A whole number of at least 1.
int CyclesOption(const std::string& text, const std::string& option);
// Steps "K1;K2;...", each a whole number from 0; in the order given,
// repeats dropped.
std::vector<std::int64_t> SpinStepsOption(const std::string& text, const std::string& option);
// A field history: at least one value.
void CheckFieldHistory(const std::vector<std::string>& texts, const std::string& option);

}  // namespace ebsim
