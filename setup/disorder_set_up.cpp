#include "setup/disorder_set_up.h"

#include <algorithm>
#include <exception>

#include "base/float_checks.h"
#include "base/huge_pages.h"
#include "engine/edge_rule.h"

namespace ebsim {

namespace {

// Cells per stretch of rows: a few milliseconds of work on one thread, so
// that a stop heard between rows ends the run at once.
constexpr std::uint64_t kGaussianBlockCells = std::uint64_t{1} << 17;
constexpr std::uint64_t kBlockCells = std::uint64_t{1} << 20;

std::size_t Site(int n, int i, int j) {
  return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j - 1);
}

// For rows i = 1 .. n + 1: the draw of row i's first computed cell.
std::vector<std::uint64_t> FirstDraws(const EdgeRule& rule) {
  const int n = rule.Side();
  std::vector<std::uint64_t> first(static_cast<std::size_t>(n) + 2, 0);
  for (int i = 1; i <= n; ++i) first[i + 1] = first[i] + static_cast<std::uint64_t>(rule.ComputedInRow(i));
  return first;
}

// block(first, last) for stretches of rows of about `cells` cells, in turn.
template <class Block>
void ForBlocks(int n, std::uint64_t cells, Block&& block) {
  const int rows = static_cast<int>(std::clamp<std::uint64_t>(cells / static_cast<std::uint64_t>(n), 1, n));
  for (int first = 1; first <= n; first += rows) block(first, std::min(n, first + rows - 1));
}

// Row i's cells from column 1 by the edge rule, the computed ones from
// `computed` in turn as far as `available` of them go. A copy of a cell of
// the same row is made here; one of another row is left to
// CopyFromOtherRows, and `otherRows` says there is one. Returns the cells
// set or left, from column 1.
template <class T>
int FillRow(const EdgeRule& rule, int i, const T* computed, std::uint64_t available, T* row, bool& otherRows) {
  std::uint64_t k = 0;
  for (int j = 1; j <= rule.Side(); ++j) {
    if (rule.Computed(i, j)) {
      if (k == available) return j - 1;
      row[j - 1] = computed[k++];
      continue;
    }
    const Cell source = rule.Source(i, j);
    if (source.i == i)
      row[j - 1] = row[source.j - 1];
    else
      otherRows = true;
  }
  return rule.Side();
}

// The copies FillRow left in row i's first `count` cells, from the rows
// they repeat, set before.
template <class T>
void CopyFromOtherRows(const EdgeRule& rule, int i, int count, T* cells) {
  const int n = rule.Side();
  for (int j = 1; j <= count; ++j) {
    const Cell source = rule.Source(i, j);
    if (!rule.Computed(i, j) && source.i != i) cells[Site(n, i, j)] = cells[Site(n, source.i, source.j)];
  }
}

// A row's first failing cell and its error.
struct RowFailure {
  int column = 0;
  std::exception_ptr error;
};

}  // namespace

void FieldDrawsInTurn::Draw(std::span<double> out, std::uint64_t& drawn) {
  for (drawn = 0; drawn < out.size(); ++drawn) {
    const long double sd = parameters_.FieldSd();
    out[drawn] = StoreDouble(random_.GaussianRandom(0.0L, sd));
  }
}

void FieldDrawsOnThreads::Draw(std::span<double> out, std::uint64_t& drawn) {
  std::uint64_t failed = 0;
  try {
    (void)DrawGaussians(random_, 0.0L, sd_, out, how_, &failed);
  } catch (...) {
    drawn = failed;
    throw;
  }
  drawn = out.size();
}

EnhancedSites DrawEnhancedSites(int n, const ModelParameters& parameters, RandomNumbers& random,
                                const DrawThreads& how, SetUpCells& cells, Boundary boundary) {
  const EdgeRule rule(n, boundary);
  const std::uint32_t start = random.RandomSeed;
  random.RandomSeed = JumpAhead(start, rule.ComputedCells());
  const double d = StoreDouble(parameters.Dilution());
  EnhancedSites sites;
  sites.n = n;
  ResizeInLargePages(sites.enhanced, static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  const std::vector<std::uint64_t> firstDraw = FirstDraws(rule);
  std::vector<std::uint8_t> otherRows;
  ForBlocks(n, kBlockCells, [&](int first, int last) {
    otherRows.assign(static_cast<std::size_t>(last - first + 1), 0);
    ForChunks(how, otherRows.size(), [&](std::uint64_t r) {
      const int i = first + static_cast<int>(r);
      std::vector<double> uniforms(firstDraw[i + 1] - firstDraw[i]);
      FillUniforms(start, firstDraw[i], uniforms);
      std::vector<std::uint8_t> below(uniforms.size());
      for (std::size_t k = 0; k < uniforms.size(); ++k) below[k] = uniforms[k] < d;
      bool other = false;
      FillRow(rule, i, below.data(), below.size(), sites.enhanced.data() + Site(n, i, 1), other);
      otherRows[r] = other;
    });
    for (int i = first; i <= last; ++i) {
      std::uint8_t* row = sites.enhanced.data() + Site(n, i, 1);
      if (otherRows[static_cast<std::size_t>(i - first)]) CopyFromOtherRows(rule, i, n, sites.enhanced.data());
      const int count = static_cast<int>(std::count(row, row + n, std::uint8_t{1}));
      if (const std::optional<double> constant = cells.ExchangeRow(i, {row, static_cast<std::size_t>(n)}, count))
        sites.constant = *constant;
      sites.count += count;
      cells.RowDone();
    }
  });
  return sites;
}

void ComputeInitialEnergies(const EnhancedSites& sites, const DrawThreads& how, SetUpCells& cells,
                            Boundary boundary) {
  const int n = sites.n;
  const EdgeRule rule(n, boundary);
  const auto energy = [&](int i, int j) {
    return StoreDouble(rule.SumOverNeighbours(
        i, j, [&](Cell c) -> long double { return sites.Exchange(Site(n, c.i, c.j)); }));
  };
  std::vector<double> energies;
  std::vector<RowFailure> failures;
  ForBlocks(n, kBlockCells, [&](int first, int last) {
    failures.assign(static_cast<std::size_t>(last - first + 1), RowFailure{});
    energies.resize(failures.size() * static_cast<std::size_t>(n));
    ForChunks(how, failures.size(), [&](std::uint64_t r) {
      const int i = first + static_cast<int>(r);
      double* row = energies.data() + r * static_cast<std::size_t>(n);
      int j = 1;
      try {
        for (; j <= n; ++j) row[j - 1] = energy(i, j);
      } catch (...) {
        failures[r] = {j, std::current_exception()};
      }
    });
    for (int i = first; i <= last; ++i) {
      const RowFailure& failure = failures[static_cast<std::size_t>(i - first)];
      const int done = failure.error ? failure.column - 1 : n;
      cells.EnergyRow(i, {energies.data() + Site(n, i - first + 1, 1), static_cast<std::size_t>(done)});
      if (failure.error) std::rethrow_exception(failure.error);
      cells.RowDone();
    }
  });
}

void DrawRandomFields(int n, FieldDraws& draws, const DrawThreads& how, std::span<double> fields,
                      SetUpCells& cells, Boundary boundary) {
  if (n < 1) return;
  const EdgeRule rule(n, boundary);
  const std::vector<std::uint64_t> firstDraw = FirstDraws(rule);
  std::vector<double> drawn;
  std::vector<int> done;
  std::vector<std::uint8_t> otherRows;
  ForBlocks(n, kGaussianBlockCells, [&](int first, int last) {
    const std::uint64_t base = firstDraw[first];
    drawn.resize(firstDraw[last + 1] - base);
    std::uint64_t available = drawn.size();
    std::exception_ptr failure;
    try {
      draws.Draw(drawn, available);
    } catch (...) {
      failure = std::current_exception();
    }
    done.assign(static_cast<std::size_t>(last - first + 1), 0);
    otherRows.assign(done.size(), 0);
    ForChunks(how, done.size(), [&](std::uint64_t r) {
      const int i = first + static_cast<int>(r);
      const std::uint64_t from = firstDraw[i] - base;
      bool other = false;
      done[r] = FillRow(rule, i, drawn.data() + from, available > from ? available - from : 0,
                        fields.data() + Site(n, i, 1), other);
      otherRows[r] = other;
    });
    for (int i = first; i <= last; ++i) {
      const std::size_t r = static_cast<std::size_t>(i - first);
      if (otherRows[r]) CopyFromOtherRows(rule, i, done[r], fields.data());
      cells.RandomFieldRow(i, fields.subspan(Site(n, i, 1), static_cast<std::size_t>(done[r])));
      if (done[r] < n) std::rethrow_exception(failure);
      cells.RowDone();
    }
  });
}

}  // namespace ebsim
