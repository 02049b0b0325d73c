#include "run/large_lattice.h"

#include <functional>
#include <optional>
#include <string>

#include "base/available_memory.h"
#include "base/errors.h"
#include "setup/compact_set_up.h"

namespace ebsim {

std::uint64_t LargeLatticeBytes(int n) {
  // Per site: the exchange choice (a byte, which the set-up draws and the
  // lattice keeps), the random field, three generations of spins and two
  // local-field signs: 14 bytes, and a margin. The peak resident size of
  // ebsim run measured 14.0 bytes a site at sides 14,000 and 20,000.
  return static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n) * 15 + (std::uint64_t{64} << 20);
}

void CheckLargeLatticeFits(int n, unsigned copies) {
  // One lattice of a side the window's maps hold is not checked: reading
  // the limits takes longer than its Run.
  if (copies == 1 && n <= kMaxSide) return;
  const std::uint64_t needed = LargeLatticeBytes(n) * copies;
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
