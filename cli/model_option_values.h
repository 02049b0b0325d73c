#pragma once
// The options of ebsim run and ebsim sweep beyond the window's inputs: the
// dynamics, the boundary, repeated cycles, a field history and the steps
// whose spins are kept, read into the model options.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/decimal_separator.h"
#include "cli/command_options.h"
#include "form/form_fields.h"
#include "run/model_options.h"

namespace ebsim {

// Their entries in the commands' option tables.
std::vector<OptionSpec> ModelOptionSpecs();

// The options from the values given by name ("dynamics", "boundary",
// "cycles", "fields", "spins-at", "engine"); the --fields file is read here, its lines
// by the window's rules for a field text with the separator. Throws
// std::invalid_argument with the message for the user.
ModelOptions ReadModelOptions(const std::map<std::string, std::string>& values, const DecimalSeparator& separator);

// "K1;K2;...": whole numbers of at least 0, in any order; the steps sorted,
// each once. Throws std::invalid_argument.
std::vector<std::int64_t> ParseSpinSteps(const std::string& text);
// The texts of a field history file, one a line; blank lines are skipped
// and a line's ending (\n or \r\n) is not part of its text. Throws
// std::invalid_argument naming the file and the line it refuses.
std::vector<std::string> ReadFieldsFile(const std::string& path, const DecimalSeparator& separator);

// The steps a Run on these fields takes by the model's protocol; none when
// the Run refuses the fields (it then reports its own error).
std::optional<std::int64_t> RunStepCount(const FieldTexts& fields, const ModelOptions& model);

}  // namespace ebsim
