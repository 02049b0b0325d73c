#include "run/engine_choice.h"

#include <algorithm>

#include "base/errors.h"

namespace ebsim {

namespace {

// The event engine for the pass dynamics when asked for, or by auto when
// the Run holds enough field values: at side 2,000 one thread of events
// overtakes one pass thread at about 1,200 values (300 values: 2.84 s
// against 0.73 s; 3,000: 3.16 s against 7.17 s; 30,000: 3.34 s against
// 68.0 s), and the pass engine's threads share its work. At 3,000 values
// on two threads the events are 1.8 times faster at side 2,000 and 2.7
// times at side 5,000.
constexpr std::int64_t kEventFieldValuesPerThread = 1500;
// The event engine holds a leg's field values (8 bytes each) and pays for
// its plan up front: auto takes it only for lattices where passes cost,
// and for histories it holds in a few hundred megabytes.
constexpr int kEventSmallestSide = 256;
constexpr std::int64_t kEventMostFieldValues = std::int64_t{1} << 25;

bool UseEvents(const ModelOptions& model, const std::optional<std::int64_t>& values, int n, int threads) {
  if (model.engine == EngineChoice::Pass) return false;
  if (model.engine == EngineChoice::Events) return true;
  if (n < kEventSmallestSide) return false;
  return values && *values >= kEventFieldValuesPerThread * std::max(threads, 1) && *values <= kEventMostFieldValues;
}

// Flip fields for the stable dynamics when asked for (and for adiabatic
// Runs), or by auto from 600 field values on: whole runs on two threads
// take, for 302 values and for 3,002, 0.87 s and 6.16 s by the scan of
// every site at side 1,000 against 1.47 s for either by the flip fields,
// 5.12 s and 29.8 s against 7.7 s at side 2,000, 29.9 s and 200 s against
// 68 s at side 5,000: the two meet at 450 to 700 values.
constexpr std::int64_t kStableEventFieldValues = 600;

bool UseStableEvents(const ModelOptions& model, const std::optional<std::int64_t>& values) {
  if (model.adiabatic) return true;
  if (model.engine != EngineChoice::Auto) return model.engine == EngineChoice::Events;
  return values && *values >= kStableEventFieldValues;
}

}  // namespace

std::optional<std::int64_t> FieldValueCount(const ModelOptions& model, const ModelParameters& parameters) {
  if (model.fields) return static_cast<std::int64_t>(model.fields->size());
  try {
    return (static_cast<std::int64_t>(parameters.Steps()) + 2) * model.cycles;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

ChosenLattice ChosenEngine(const ModelOptions& model, const ModelParameters& parameters, int n, int threads) {
  const std::optional<std::int64_t> values = FieldValueCount(model, parameters);
  LatticeEngine engine = LatticeEngine::Pass;
  if (model.dynamics == DynamicsRule::Stable)
    engine = UseStableEvents(model, values) ? LatticeEngine::StableEvents : LatticeEngine::StableScan;
  else if (UseEvents(model, values, n, threads))
    engine = LatticeEngine::PassEvents;
  return {engine, values.value_or(0)};
}

}  // namespace ebsim
