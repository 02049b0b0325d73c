#include "model/random_numbers.h"

#include <cmath>

#include "base/float_checks.h"

namespace ebsim {

long double PolarGaussian(long double u1, long double s, long double mean, long double sd) {
  // ln(s), times -2, divided by s, square root, times u1, times sd, plus mean.
  const long double radius = std::sqrt(std::log(s) * -2 / s);
  return Checked(mean + Checked(sd * (u1 * radius)));
}

long double RandomNumbers::GaussianRandom(long double mean, long double sd) {
  long double u1, s;
  do {
    u1 = 2 * UniformRandom() - 1;
    const long double u2 = 2 * UniformRandom() - 1;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1);
  return PolarGaussian(u1, s, mean, sd);
}

}  // namespace ebsim
