#pragma once
// The one random source: a 32-bit linear congruential generator seeded from
// the time of day, and the polar-method Gaussian on top of it.

#include <cstdint>

#include "model/utc_clock.h"

namespace ebsim {

// The uniform value a state stands for: the state times 2^-32, a value in
// [0, 1) that a double holds exactly.
inline long double UniformOfState(std::uint32_t state) {
  return static_cast<long double>(state) * 0x1p-32L;  // the double 2.3283064365386963e-10
}

// The polar method's value from an accepted pair: u1 its first coordinate,
// s = u1² + u2² (0 < s < 1). Raises EOverflow where sd is too large.
long double PolarGaussian(long double u1, long double s, long double mean, long double sd);

class RandomNumbers {
 public:
  // One step: state x 134775813 + 1, modulo 2^32.
  static constexpr std::uint32_t kMultiplier = 134775813u;

  // The generator's state; 0 until the first seeding.
  std::uint32_t RandomSeed = 0;

  // RandomSeed = UTC milliseconds since midnight.
  void SeedFromClock(const UtcClock& clock) { RandomSeed = clock.MillisecondsSinceMidnight(); }

  // Advances the state and returns its uniform value.
  long double UniformRandom() {
    RandomSeed = RandomSeed * kMultiplier + 1u;
    return UniformOfState(RandomSeed);
  }

  // One normal value of the given mean and standard deviation, from pairs
  // of uniform values (polar method; only the first of the pair's two
  // normal values is used). Raises EOverflow where sd is too large.
  long double GaussianRandom(long double mean, long double sd);
};

}  // namespace ebsim
