#include "run/model_options.h"

namespace ebsim {

std::string_view DynamicsName(DynamicsRule rule) { return rule == DynamicsRule::Stable ? "stable" : "pass"; }

std::string_view BoundaryName(Boundary boundary) {
  switch (boundary) {
    case Boundary::Periodic: return "periodic";
    case Boundary::Open: return "open";
    case Boundary::EdgeCopy: break;
  }
  return "edge-copy";
}

std::optional<DynamicsRule> ParseDynamics(std::string_view name) {
  for (DynamicsRule rule : {DynamicsRule::Pass, DynamicsRule::Stable})
    if (name == DynamicsName(rule)) return rule;
  return std::nullopt;
}

std::optional<Boundary> ParseBoundary(std::string_view name) {
  for (Boundary boundary : {Boundary::EdgeCopy, Boundary::Periodic, Boundary::Open})
    if (name == BoundaryName(boundary)) return boundary;
  return std::nullopt;
}

std::string_view EngineName(EngineChoice engine) {
  switch (engine) {
    case EngineChoice::Pass: return "pass";
    case EngineChoice::Events: return "events";
    case EngineChoice::Auto: break;
  }
  return "auto";
}

std::optional<EngineChoice> ParseEngine(std::string_view name) {
  for (EngineChoice engine : {EngineChoice::Auto, EngineChoice::Pass, EngineChoice::Events})
    if (name == EngineName(engine)) return engine;
  return std::nullopt;
}

}  // namespace ebsim
