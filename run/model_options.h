#pragma once
// The model and the protocol of a headless Run beyond the window's: the
// dynamics rule, the lattice's boundary, repeated cycles or any field
// history, and the steps whose spins are kept. The defaults are the
// window's Run exactly; ebsim and the Python module fill these from their
// options, under the same names.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/edge_rule.h"

namespace ebsim {

// Pass: one relaxation pass at each field value, the window's rule.
// Stable: at each field value, unstable spins reversed until none is.
enum class DynamicsRule : std::uint8_t { Pass, Stable };

// Which engine computes the dynamics; every choice gives the same bits.
// Pass: every site at every field value (ParallelRelaxation, or for stable
// a scan of every site). Events: only the sites whose local-field sign may
// change (EventRelaxation, or for stable the flip fields). Auto: by a rule
// measured (run/simulator.cpp).
enum class EngineChoice : std::uint8_t { Auto, Pass, Events };

struct ModelOptions {
  DynamicsRule dynamics = DynamicsRule::Pass;
  Boundary boundary = Boundary::EdgeCopy;
  // The window's loop this many times in a row, the spins kept between
  // cycles.
  int cycles = 1;
  bool cyclesGiven = false;  // --cycles was given (even as 1)
  // Any field history instead of the loop: one field text per value, read
  // by the window's rules (--fields FILE). None: the loop.
  std::optional<std::vector<std::string>> fields;
  // The steps (from 0 over the whole Run) whose spins are kept; empty: the
  // turning point, when spins are asked for at all.
  std::vector<std::int64_t> spinsAt;
  // The engine of the pass dynamics; not part of Extended(), since it
  // changes no result.
  EngineChoice engine = EngineChoice::Auto;
  // Stable dynamics only: the field moved exactly to each avalanche's field
  // in turn on every leg of the loop, one loop row per avalanche.
  bool adiabatic = false;

  // Whether any option beyond the window's is given: the loop rows then
  // carry flips and cycle.
  bool Extended() const {
    return dynamics != DynamicsRule::Pass || boundary != Boundary::EdgeCopy || cyclesGiven || fields.has_value() ||
           !spinsAt.empty() || adiabatic;
  }
};

// The names used by the command line, Python and the files.
std::string_view DynamicsName(DynamicsRule rule);
std::string_view BoundaryName(Boundary boundary);
// None for a name that is not one of them.
std::optional<DynamicsRule> ParseDynamics(std::string_view name);
std::optional<Boundary> ParseBoundary(std::string_view name);
std::string_view EngineName(EngineChoice engine);
std::optional<EngineChoice> ParseEngine(std::string_view name);

}  // namespace ebsim
