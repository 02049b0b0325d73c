#pragma once
// The model options from the texts ebsim's options take, with the messages
// the command line and Python give for a text refused. `option` names the
// option as the caller's user knows it: "--cycles" or "cycles".

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/decimal_separator.h"
#include "form/form_fields.h"
#include "run/model_options.h"

namespace ebsim {

// Each option with what it means, for the help and the docstrings: the
// command line's name ("spins-at"), Python's ("spins_at"), the meaning, and
// where Python's keyword takes its values in another form, the meaning there.
struct ModelOptionEntry {
  const char* option;
  const char* keyword;
  const char* meaning;
  const char* keywordMeaning = nullptr;
  const char* KeywordMeaning() const { return keywordMeaning ? keywordMeaning : meaning; }
};
const std::vector<ModelOptionEntry>& ModelOptionEntries();

class ModelOptionError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

inline constexpr int kMostCycles = 1000000;

// "pass" or "stable".
DynamicsRule DynamicsOption(const std::string& text, const std::string& option);
// "edge-copy", "periodic" or "open".
Boundary BoundaryOption(const std::string& text, const std::string& option);
// A whole number from 1 to kMostCycles.
// "auto", "pass" or "events".
EngineChoice EngineOption(const std::string& text, const std::string& option);
int CyclesOption(const std::string& text, const std::string& option);
// Steps "K1;K2;...", each a whole number of at least 0; sorted, each once.
std::vector<std::int64_t> SpinStepsOption(const std::string& text, const std::string& option);
// --adiabatic (Python's adiabatic=True): its entry for the help, and why
// these options cannot take it on these fields, if they cannot: it needs
// stable dynamics on the loop with flip fields and an enhancement of 0 or
// more (a negative one, when its text reads, is refused here; the Run
// refuses a lattice with a negative constant whatever its texts). python:
// names as Python's keywords.
const ModelOptionEntry& AdiabaticEntry();
std::optional<std::string> AdiabaticConflict(const ModelOptions& model, const FieldTexts& fields, bool python);

// A field history's text, `where` saying which ("line 3"): its field value,
// read by the window's rules for a field text.
double HistoryFieldOption(const std::string& text, const DecimalSeparator& separator, const std::string& where);

}  // namespace ebsim
