#include "run/relaxation_inputs.h"

#include <stdexcept>

namespace ebsim {

namespace {

std::int8_t SpinByte(double s) {
  if (s == 1.0) return 1;
  if (s == -1.0) return -1;
  if (s == 0.0) return 0;
  throw std::invalid_argument("a spin is -1, 0 or +1");
}

}  // namespace

CompactLattice CompactLatticeOf(int n, std::span<const double> exchange, std::span<const double> randomField) {
  const std::size_t sites = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  if (n < 1 || exchange.size() != sites || randomField.size() != sites)
    throw std::invalid_argument("the arrays must hold n x n sites");
  CompactLattice compact(n);
  for (std::size_t row = 0; row < sites; row += static_cast<std::size_t>(n))
    compact.AppendRow(exchange.data() + row, randomField.data() + row);
  return compact;
}

CompactLattice CompactLatticeOf(const LatticeState& lattice, int n) {
  if (!IsValidSide(n)) throw std::invalid_argument("the lattice state holds sides 1 to 300");
  CompactLattice compact(n);
  for (int i = 1; i <= n; ++i) compact.AppendRow(lattice.ExchangeMap.Row(i) + 1, lattice.QrfMap.Row(i) + 1);
  return compact;
}

std::vector<std::int8_t> CompactSpinsOf(std::span<const double> spins) {
  std::vector<std::int8_t> bytes(spins.size());
  for (std::size_t k = 0; k < spins.size(); ++k) bytes[k] = SpinByte(spins[k]);
  return bytes;
}

std::vector<std::int8_t> CompactSpinsOf(const LatticeState& lattice, int n) {
  if (!IsValidSide(n)) throw std::invalid_argument("the lattice state holds sides 1 to 300");
  std::vector<std::int8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(n * n));
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) bytes.push_back(SpinByte(lattice.SpinMap(i, j)));
  return bytes;
}

}  // namespace ebsim
