#include "run/large_lattice.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "base/available_memory.h"
#include "base/errors.h"
#include "setup/compact_set_up.h"

namespace ebsim {

namespace {

// Bytes a site, by engine, from the peak resident size of ebsim run (side
// 2,000 and 5,000, 300 and 3,000 steps) and a margin: besides the lattice
// (the exchange choice and the random field, 9 bytes), the pass keeps three
// generations of spins and two local-field signs (14.0 bytes measured at
// sides 14,000 and 20,000); the events, the spins and each site's signs,
// marks and next change, and the lists of a relaxation's sites; the stable
// scan, the spins and the neighbour fields; the flip fields, each site's
// place in the sorted lists (4 bytes) and its spin, choice and queued mark
// in 4 bits, 12.5 bytes with the random field, and half a byte for the
// sites found unstable together (4 bytes each), which a field that leaves
// many spins unstable at a leg's start brings.
std::uint64_t BytesPerSite(LatticeEngine engine) {
  switch (engine) {
    case LatticeEngine::Pass: return 15;
    case LatticeEngine::PassEvents: return 27;
    case LatticeEngine::StableScan: return 24;
    case LatticeEngine::StableEvents: return 13;
  }
  return 27;
}

}  // namespace

std::uint64_t LargeLatticeBytes(int n, const ChosenLattice& chosen) {
  const std::uint64_t sites = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n);
  // The event engine plans a leg's field values: the value and the list of
  // sites due there.
  const std::uint64_t planned = chosen.engine == LatticeEngine::PassEvents
                                    ? 40 * static_cast<std::uint64_t>(std::max<std::int64_t>(chosen.fieldValues, 0))
                                    : 0;
  return sites * BytesPerSite(chosen.engine) + planned + (std::uint64_t{64} << 20);
}

void CheckLargeLatticeFits(int n, unsigned copies, const ChosenLattice& chosen) {
  // One lattice of a side the window's maps hold is not checked: reading
  // the limits takes longer than its Run.
  if (copies == 1 && n <= kMaxSide) return;
  const std::uint64_t needed = LargeLatticeBytes(n, chosen) * copies;
  const std::optional<std::uint64_t> available = AvailableMemoryBytes();
  if (available && needed > *available)
    throw EConvertError("A lattice of side " + std::to_string(n) + " needs about " + Megabytes(needed) +
                        " of memory; " + Megabytes(*available) + " are available");
}

CompactLattice SetUpLargeLattice(const FormPort& port, const ModelParameters& parameters, int n, RandomNumbers& random,
                                 const UtcClock& clock, const char*& stage, int threads, SweepObserver* observer,
                                 Boundary boundary) {
  const std::function<void()> rowDone = [observer] {
    if (observer) observer->SetUpRowDone();
  };
  return SetUpCompactLattice(port, parameters, n, random, clock, stage, threads, rowDone, boundary);
}

}  // namespace ebsim
