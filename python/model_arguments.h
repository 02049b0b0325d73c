#pragma once
// The model's keyword arguments of ebsim.run and ebsim.sweep: dynamics,
// boundary, cycles, fields and spins_at, read into the options the Run
// takes, with the command line's checks and messages.

#include <pybind11/pybind11.h>

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

#include "form/headless_form.h"
#include "run/model_options.h"

namespace ebsim {

struct ModelArguments {
  pybind11::object dynamics, boundary, cycles, fields, spinsAt, engine;
};

// A ValueError (with the command line's message) for a value refused, a
// TypeError for one of the wrong type.
ModelOptions ModelOptionsOf(const ModelArguments& arguments, const char* caller);

// Their entries of the docstrings, each line indented so.
std::string ModelArgsDoc(std::size_t indent);

// With any option beyond the window's, "model": the options as the files
// name them; nothing otherwise.
void AddModelMetadata(nlohmann::ordered_json& metadata, const ModelOptions& options);
// A ValueError for a spins_at step beyond the run's last; inputs that the
// run refuses are left to it.
void CheckSpinSteps(const HeadlessFields& fields, const ModelOptions& options, const char* caller);

// The options of ebsim that give them (--fields names a file holding the
// metadata's field texts, one a line).
std::vector<std::string> ModelCommand(const ModelOptions& options);

}  // namespace ebsim
