#pragma once
// The one random source: a 32-bit linear congruential generator seeded from
// the time of day, and the polar-method Gaussian on top of it.

#include <cstdint>

#include "model/utc_clock.h"

namespace ebsim {

class RandomNumbers {
 public:
  // The generator's state; 0 until the first seeding.
  std::uint32_t RandomSeed = 0;

  // RandomSeed = UTC milliseconds since midnight.
  void SeedFromClock(const UtcClock& clock) { RandomSeed = clock.MillisecondsSinceMidnight(); }

  // Advances the state (x 134775813 + 1, modulo 2^32) and returns it times
  // 2^-32: a value in [0, 1) that a double holds exactly.
  long double UniformRandom() {
    RandomSeed = RandomSeed * 134775813u + 1u;
    return static_cast<long double>(RandomSeed) * 0x1p-32L;  // the double 2.3283064365386963e-10
  }

  // One normal value of the given mean and standard deviation, from pairs
  // of uniform values (polar method; only the first of the pair's two
  // normal values is used). Raises EOverflow where sd is too large.
  long double GaussianRandom(long double mean, long double sd);
};

}  // namespace ebsim
