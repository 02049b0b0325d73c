#include "cli/model_option_values.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "base/errors.h"
#include "form/field_parameters.h"
#include "run/field_schedule.h"
#include "run/field_sweep.h"
#include "run/large_lattice.h"
#include "run/model_option_texts.h"

namespace ebsim {

std::vector<OptionSpec> ModelOptionSpecs() {
  static const char* const kValueNames[] = {"D", "B", "K", "FILE", "LIST", "E"};
  std::vector<OptionSpec> specs;
  const std::vector<ModelOptionEntry>& entries = ModelOptionEntries();
  for (std::size_t k = 0; k < entries.size(); ++k)
    specs.push_back({entries[k].option, {}, true, kValueNames[k], entries[k].meaning});
  return specs;
}

std::vector<std::int64_t> ParseSpinSteps(const std::string& text) { return SpinStepsOption(text, "--spins-at"); }

std::vector<std::string> ReadFieldsFile(const std::string& path, const DecimalSeparator& separator) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::invalid_argument("--fields: cannot read '" + path + "': " + std::strerror(errno));
  std::vector<std::string> texts;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    (void)HistoryFieldOption(line, separator, "--fields '" + path + "' line " + std::to_string(number));
    texts.push_back(line);
  }
  if (in.bad()) throw std::invalid_argument("--fields: cannot read '" + path + "'");
  if (texts.empty()) throw std::invalid_argument("--fields '" + path + "' holds no field value");
  return texts;
}

ModelOptions ReadModelOptions(const std::map<std::string, std::string>& values, const DecimalSeparator& separator) {
  ModelOptions model;
  const auto given = [&](const char* name) -> const std::string* {
    const auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
  };
  if (const std::string* text = given("dynamics")) model.dynamics = DynamicsOption(*text, "--dynamics");
  if (const std::string* text = given("boundary")) model.boundary = BoundaryOption(*text, "--boundary");
  if (const std::string* text = given("cycles")) {
    model.cycles = CyclesOption(*text, "--cycles");
    model.cyclesGiven = true;
  }
  if (const std::string* path = given("fields")) {
    if (model.cyclesGiven) throw std::invalid_argument("--cycles and --fields cannot be given together");
    model.fields = ReadFieldsFile(*path, separator);
  }
  if (const std::string* text = given("spins-at")) model.spinsAt = ParseSpinSteps(*text);
  if (const std::string* text = given("engine")) model.engine = EngineOption(*text, "--engine");
  return model;
}


std::optional<std::int64_t> RunStepCount(const FieldTexts& fields, const ModelOptions& model) {
  try {
    const RunInputs inputs = ReadRunInputs(FieldParameters(fields), kLargestSide);
    return StepCount(*ProtocolOf(inputs, model, fields.Separator()));
  } catch (const Exception&) {
    return std::nullopt;
  }
}

}  // namespace ebsim
