#pragma once

#include <atomic>
#include <iosfwd>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

namespace ebsim {

// ebsim sweep: a grid of inputs, each point run for several disorder
// realisations on all cores; rows and per-point statistics as CSV. Returns
// the exit code: 0, 2 for bad options, 130 when stopped by `stop` (which
// the command sets on SIGINT). `origin` is added to every file's metadata
// (ebsim study names its file there).
int SweepCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                 std::atomic<bool>& stop, const nlohmann::ordered_json& origin = nlohmann::ordered_json::object());

}  // namespace ebsim
