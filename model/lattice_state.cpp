#include "model/lattice_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ebsim {

namespace {

double* ZeroedCells(std::size_t count) {
  void* cells = std::calloc(count, sizeof(double));
  if (!cells) throw std::bad_alloc();
  return static_cast<double*>(cells);
}

}  // namespace

void SiteMap::Release::operator()(double* cells) const { std::free(cells); }

SiteMap::SiteMap() : cells_(ZeroedCells(kCells)) {}

SiteMap::SiteMap(const SiteMap& other) : SiteMap() { *this = other; }

SiteMap& SiteMap::operator=(const SiteMap& other) {
  if (this != &other) std::memcpy(cells_.get(), other.cells_.get(), kCells * sizeof(double));
  return *this;
}

void SiteMap::FillBlock(int n, double v) {
  for (int i = 1; i <= n; ++i) std::fill(Row(i) + 1, Row(i) + n + 1, v);
}

}  // namespace ebsim
