#pragma once
// The two set-up runs' values on a lattice of any side, the generator's
// sequence drawn once: one uniform value per computed cell in row-major
// order for the exchange constants, one Gaussian per computed cell for the
// random fields, every other cell a copy by the edge rule (the window's edge
// copy, or another boundary: engine/edge_rule.h), and the initial exchange
// energies. A stretch of rows is worked on the threads `how`
// names, with the bits the draws in turn give; its rows then go, in order,
// to the caller's hooks (the window's maps and squares, or the compact
// lattice), which may end the run at any row.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/edge_rule.h"
#include "model/model_parameters.h"
#include "model/random_numbers.h"
#include "model/random_streams.h"

namespace ebsim {

// What "Run LEE Constants" decides: which sites carry the enhancement
// constant.
struct EnhancedSites {
  int n = 0;
  std::vector<std::uint8_t> enhanced;  // n x n row by row: 1 where enhanced
  double constant = 1.0;               // the enhanced sites' constant, once read
  std::int64_t count = 0;
  double Exchange(std::size_t site) const { return enhanced[site] ? constant : 1.0; }
};

// The hooks, each called row after row from row 1.
class SetUpCells {
 public:
  virtual ~SetUpCells() = default;
  // Row i's sites, which of them are enhanced (`count` of them): the hook
  // gives them their constant, and returns it where it read one. It may
  // throw at a site, having done the sites before it.
  virtual std::optional<double> ExchangeRow(int i, std::span<const std::uint8_t> enhanced, int count) = 0;
  // Row i's initial exchange energies from column 1; fewer than n where the
  // next one overflowed, and the run ends with that error.
  virtual void EnergyRow(int /*i*/, std::span<const double> /*energies*/) {}
  // Row i's random fields from column 1; fewer than n where the next draw
  // failed, and the run ends with that error.
  virtual void RandomFieldRow(int /*i*/, std::span<const double> /*fields*/) {}
  // After each row that is done: may end the run by throwing.
  virtual void RowDone() {}
};

// The random fields of the computed cells, in row-major order, a stretch
// at a time.
class FieldDraws {
 public:
  virtual ~FieldDraws() = default;
  // Fills out with the next out.size() fields. A draw that fails raises its
  // error with out[0, drawn) written and the generator where the draws in
  // turn leave it.
  virtual void Draw(std::span<double> out, std::uint64_t& drawn) = 0;
};

// The window's: one draw after another, the deviation read for each.
class FieldDrawsInTurn final : public FieldDraws {
 public:
  FieldDrawsInTurn(const ModelParameters& parameters, RandomNumbers& random)
      : parameters_(parameters), random_(random) {}
  void Draw(std::span<double> out, std::uint64_t& drawn) override;

 private:
  const ModelParameters& parameters_;
  RandomNumbers& random_;
};

// With a deviation read once: pairs tested on threads (DrawGaussians).
class FieldDrawsOnThreads final : public FieldDraws {
 public:
  FieldDrawsOnThreads(long double sd, RandomNumbers& random, const DrawThreads& how)
      : sd_(sd), random_(random), how_(how) {}
  void Draw(std::span<double> out, std::uint64_t& drawn) override;

 private:
  const long double sd_;
  RandomNumbers& random_;
  const DrawThreads& how_;
};

// "Run LEE Constants" on side n from the seeded generator: the dilution
// read, a site enhanced where its uniform draw lies below it. The
// generator ends where the draws in turn leave it, even where the dilution
// cannot be read, as the window draws first and reads after.
EnhancedSites DrawEnhancedSites(int n, const ModelParameters& parameters, RandomNumbers& random,
                                const DrawThreads& how, SetUpCells& cells, Boundary boundary = Boundary::EdgeCopy);

// The initial exchange energies, every spin +1: the sum of the neighbours'
// constants by the edge rule, stored as a double.
void ComputeInitialEnergies(const EnhancedSites& sites, const DrawThreads& how, SetUpCells& cells,
                            Boundary boundary = Boundary::EdgeCopy);

// "Run QRF Fields" on side n: fields (n x n, row by row) filled; rows handed
// on as they are done. Nothing is drawn or read for n = 0.
void DrawRandomFields(int n, FieldDraws& draws, const DrawThreads& how, std::span<double> fields,
                      SetUpCells& cells, Boundary boundary = Boundary::EdgeCopy);

}  // namespace ebsim
