#pragma once
// What the tests of the Run share: hashes of the maps, a recorder of every
// field step, the two set-up runs, and a fixture that runs with the
// window's texts on a fake window.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form/field_parameters.h"
#include "run/field_sweep.h"
#include "setup/exchange_enhancement_run.h"
#include "setup/random_field_run.h"
#include "tests/unit/fake_window.h"

namespace ebsim {

inline constexpr Branch kDown = Branch::Descending;
inline constexpr Branch kUp = Branch::Ascending;

inline std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// A hash of the block of a map, bit by bit.
inline std::uint64_t BlockHash(const SiteMap& map, int n) {
  std::uint64_t h = 1469598103934665603ull;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) h = (h ^ Bits(map(i, j))) * 1099511628211ull;
  return h;
}

inline std::uint64_t MapsHash(const LatticeState& s, int n) {
  std::uint64_t h = 0;
  for (const SiteMap* map : {&s.SpinMap, &s.ExchangeMap, &s.QrfMap, &s.FmEnergyMap, &s.NeighbourFieldMap,
                             &s.PrevLocalFieldMap, &s.LocalFieldMap})
    h = h * 31 + BlockHash(*map, n);
  return h;
}

struct StepRecord {
  Branch branch;
  double H;
  double M;
  std::uint64_t spins;  // hash of the spin block after the relaxation
  bool operator==(const StepRecord&) const = default;
};

// Hears every field step of a Run and notes the spins as the pass left them.
class Recorder final : public SweepObserver {
 public:
  Recorder(const LatticeState& lattice, int n) : lattice_(lattice), n_(n) {}
  void FieldStepDone(Branch branch, double H, double M) override {
    steps.push_back({branch, H, M, BlockHash(lattice_.SpinMap, n_)});
    if (onStep) onStep(branch, H, M);
  }
  std::vector<double> Fields(Branch branch) const {
    std::vector<double> fields;
    for (const StepRecord& s : steps)
      if (s.branch == branch) fields.push_back(s.H);
    return fields;
  }
  std::vector<double> Magnetizations() const {
    std::vector<double> m;
    for (const StepRecord& s : steps) m.push_back(s.M);
    return m;
  }

  std::vector<StepRecord> steps;
  std::function<void(Branch, double, double)> onStep;

 private:
  const LatticeState& lattice_;
  int n_;
};

// "Run LEE Constants" and "Run QRF Fields" with the window's texts and the
// clock at ms.
inline void SetUpLattice(FakeWindow& w, LatticeState& lattice, std::uint32_t ms) {
  RandomNumbers random;
  const FixedClock clock(ms);
  RunExchangeEnhancement(w.Port(), FieldParameters(w), lattice, random, clock);
  RunRandomField(w.Port(), FieldParameters(w), lattice, random);
}

class RunTest : public ::testing::Test {
 protected:
  LatticeState& L() { return *lattice; }
  // Runs with the window's texts; the error's message, or "".
  std::string Run(SweepObserver* observer = nullptr) {
    return ErrorMessageOf([&] { steps = RunHysteresis(port, parameters, *lattice, observer); });
  }
  void Texts(const char* h0, const char* hmin, const char* stepCount, const char* side = "1") {
    w.texts[Input::H0] = h0;
    w.texts[Input::Hmin] = hmin;
    w.texts[Input::Steps] = stepCount;
    w.texts[Input::Side] = side;
  }

  FakeWindow w;
  FormPort port = w.Port();
  FieldParameters parameters{w};
  std::unique_ptr<LatticeState> lattice = std::make_unique<LatticeState>();
  SweepSteps steps;
};

}  // namespace ebsim
