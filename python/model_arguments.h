#pragma once
// The model's keyword arguments of ebsim.run and ebsim.sweep: dynamics,
// boundary, cycles, fields and spins_at, read into the options the Run
// takes, with the command line's checks and messages.

#include <pybind11/pybind11.h>

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

#include "run/model_options.h"

namespace ebsim {

struct ModelArguments {
  pybind11::object dynamics, boundary, cycles, fields, spinsAt;
};

// A ValueError (with the command line's message) for a value refused, a
// TypeError for one of the wrong type.
ModelOptions ModelOptionsOf(const ModelArguments& arguments, const char* caller);

// Their entries of the docstrings, each line indented so.
std::string ModelArgsDoc(std::size_t indent);

// With any option beyond the window's, the options as the metadata holds
// them: dynamics and boundary, and cycles, fields and spins_at where given;
// nothing otherwise.
void AddModelMetadata(nlohmann::ordered_json& metadata, const ModelOptions& options);
// The options of ebsim that give them (--fields names a file holding the
// metadata's field texts, one a line).
std::vector<std::string> ModelCommand(const ModelOptions& options);

}  // namespace ebsim
