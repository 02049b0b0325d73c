#pragma once
// How the lattice ends at its edges: which cells of the side-n block are
// computed on their own, which repeat another, and whose exchange terms
// make up a cell's neighbour field, in the order they are summed. The
// set-up's maps, its energies and the Run's neighbour fields all take it
// from here.
//
// Edge copy, the window's rule: row n and column n (n > 1) are never
// computed on their own but repeat row 1 and column 1, in the random fields
// and the energies as in the neighbour fields; no neighbour wraps round.
// The neighbours of a computed cell, in summation order: right and lower
// for (1, 1); right, lower and left along row 1; right, lower and upper down
// column 1; left, right, upper and lower elsewhere. A side of 1 has none
// (those of (1, 1) lie outside the block and add nothing).
//
// Periodic and open: every cell is computed on its own, and its neighbours
// are summed left, right, upper, lower. Under periodic boundaries a
// neighbour beyond an edge wraps round to the opposite one, and each of a
// cell's four bonds counts, however small the side: on a side of 2 the left
// and the right neighbour are the same cell and its term counts twice, on a
// side of 1 the cell is its own neighbour four times. Under open boundaries
// a neighbour beyond an edge is absent and adds nothing: a corner has two
// terms, another edge cell three, a side of 1 none.
//
// A boundary is a value the rule takes: another one changes which cells are
// computed and where a neighbour lies, and every user follows.

#include <cstdint>

namespace ebsim {

// EdgeCopy: the window's rule above. Periodic: every cell computed, a
// neighbour beyond an edge wraps round to the opposite one. Open: every
// cell computed, a neighbour beyond an edge is absent and adds nothing.
enum class Boundary : std::uint8_t { EdgeCopy, Periodic, Open };

// A cell of the 1-based block: row i, column j.
struct Cell {
  int i = 0, j = 0;
  friend constexpr bool operator==(Cell, Cell) = default;
};

// A cell's neighbours in summation order, each as its offset from the cell.
struct NeighbourOffsets {
  int count = 0;
  int di[4] = {}, dj[4] = {};
};

class EdgeRule {
 public:
  constexpr explicit EdgeRule(int n, Boundary boundary = Boundary::EdgeCopy) : n_(n), boundary_(boundary) {}

  constexpr int Side() const { return n_; }
  constexpr Boundary Kind() const { return boundary_; }

  // Whether cell (i, j) is computed on its own; otherwise it repeats
  // Source(i, j).
  constexpr bool Computed(int i, int j) const {
    return boundary_ != Boundary::EdgeCopy || n_ == 1 || (i < n_ && j < n_);
  }
  // The cell whose values (i, j) repeats: a computed one, before (i, j) in
  // row-major order; (i, j) itself when it is computed.
  constexpr Cell Source(int i, int j) const { return {Copied(i), Copied(j)}; }

  // The computed cells of row i, and of the whole block: the draws of a
  // set-up run.
  constexpr int ComputedInRow(int i) const {
    if (boundary_ != Boundary::EdgeCopy) return n_;
    return n_ == 1 ? 1 : i < n_ ? n_ - 1 : 0;
  }
  constexpr std::uint64_t ComputedCells() const {
    const std::uint64_t side =
        boundary_ != Boundary::EdgeCopy ? static_cast<std::uint64_t>(n_) : n_ == 1 ? 1 : static_cast<std::uint64_t>(n_) - 1;
    return side * side;
  }

  // The neighbours of computed cell (i, j), as offsets from it. The cell a
  // neighbour offset reaches is At(i + di, j + dj).
  constexpr NeighbourOffsets Offsets(int i, int j) const {
    if (boundary_ == Boundary::Periodic) return {4, {0, 0, -1, 1}, {-1, 1, 0, 0}};
    if (boundary_ == Boundary::Open) return OpenOffsets(i, j);
    if (n_ == 1) return {};
    if (i == 1 && j == 1) return {2, {0, 1}, {1, 0}};                    // right, lower
    if (i == 1) return {3, {0, 1, 0}, {1, 0, -1}};                       // right, lower, left
    if (j == 1) return {3, {0, 1, -1}, {1, 0, 0}};                       // right, lower, upper
    return {4, {0, 0, -1, 1}, {-1, 1, 0, 0}};                            // left, right, upper, lower
  }
  // The cell an offset reaches. Under edge copy and open boundaries every
  // neighbour of a computed cell lies inside the block; under periodic ones
  // a row or column 0 or n + 1 wraps round.
  constexpr Cell At(int i, int j) const {
    if (boundary_ != Boundary::Periodic) return {i, j};
    return {Wrapped(i), Wrapped(j)};
  }

  // The cells whose neighbour fields take the spin of cell (i, j): those
  // that have it among their neighbours, and under edge copy the cells
  // that repeat one of them. A cell may be visited more than once.
  template <class Visit>
  constexpr void ForDependents(int i, int j, Visit&& visit) const {
    const int di[4] = {0, 0, -1, 1}, dj[4] = {-1, 1, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const Cell c = boundary_ == Boundary::Periodic ? At(i + di[k], j + dj[k]) : Cell{i + di[k], j + dj[k]};
      if (c.i < 1 || c.j < 1 || c.i > n_ || c.j > n_ || !Computed(c.i, c.j) || !HasNeighbour(c, {i, j})) continue;
      visit(c);
      if (boundary_ != Boundary::EdgeCopy || n_ == 1) continue;
      if (c.i == 1) visit(Cell{n_, c.j});
      if (c.j == 1) visit(Cell{c.i, n_});
      if (c.i == 1 && c.j == 1) visit(Cell{n_, n_});
    }
  }

  // The neighbours whose terms make up the neighbour field of cell (i, j):
  // those of the cell it repeats, in summation order.
  template <class Visit>
  constexpr void ForNeighbours(int i, int j, Visit&& visit) const {
    const Cell s = Source(i, j);
    const NeighbourOffsets o = Offsets(s.i, s.j);
    for (int k = 0; k < o.count; ++k) visit(At(s.i + o.di[k], s.j + o.dj[k]));
  }

  // The sum of term(cell) over the neighbours of cell (i, j), in extended
  // precision and in summation order; +0 where it has none.
  template <class Term>
  long double SumOverNeighbours(int i, int j, Term&& term) const {
    long double sum = 0;
    bool first = true;
    ForNeighbours(i, j, [&](Cell c) {
      const long double t = term(c);
      sum = first ? t : sum + t;
      first = false;
    });
    return sum;
  }

 private:
  constexpr int Copied(int k) const { return boundary_ == Boundary::EdgeCopy && n_ > 1 && k == n_ ? 1 : k; }
  constexpr int Wrapped(int k) const { return k < 1 ? k + n_ : k > n_ ? k - n_ : k; }

  // Left, right, upper, lower, those inside the block.
  constexpr NeighbourOffsets OpenOffsets(int i, int j) const {
    NeighbourOffsets o;
    const int di[4] = {0, 0, -1, 1}, dj[4] = {-1, 1, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const int a = i + di[k], b = j + dj[k];
      if (a < 1 || b < 1 || a > n_ || b > n_) continue;
      o.di[o.count] = di[k];
      o.dj[o.count] = dj[k];
      ++o.count;
    }
    return o;
  }

  constexpr bool HasNeighbour(Cell c, Cell target) const {
    const NeighbourOffsets o = Offsets(c.i, c.j);
    for (int k = 0; k < o.count; ++k)
      if (At(c.i + o.di[k], c.j + o.dj[k]) == target) return true;
    return false;
  }

  int n_;
  Boundary boundary_;
};

}  // namespace ebsim
