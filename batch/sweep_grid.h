#pragma once
// The parameter grid of a sweep: each of the window's seven inputs takes one
// text or several, and the grid is their product.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/decimal_separator.h"
#include "model/physics_names.h"
#include "form/headless_form.h"
#include "run/model_options.h"

namespace ebsim {

struct GridAxis {
  const char* option;               // "side", "dilution", ...
  Input input;
  std::vector<std::string> texts;   // the field texts it takes, in order
};

// The texts an option's value stands for:
//   "a;b;c"  a list (items also split at "," unless "," is the separator),
//   "a:b:s"  a range from a to b in steps of s, b included when it falls
//            on a step (within a billionth of a step),
//   "a"      one text.
// Every text must read as the field reads it; the error is the window's
// (EConvertError), or std::invalid_argument for a malformed range.
std::vector<std::string> ParseAxisValues(Input input, const std::string& value, const DecimalSeparator& separator);

class SweepGrid {
 public:
  // One axis per input, in the order of the options; throws
  // std::invalid_argument when the points are too many to count.
  explicit SweepGrid(std::vector<GridAxis> axes, DecimalSeparator separator = {});

  std::size_t PointCount() const { return count_; }
  const std::vector<GridAxis>& Axes() const { return axes_; }
  // The texts of grid point k; the last axis varies fastest.
  std::vector<std::string> PointTexts(std::size_t k) const;
  const DecimalSeparator& Separator() const { return separator_; }
  // The fields for grid point k.
  HeadlessFields PointFields(std::size_t k) const;
  // The cycles of each realisation's protocol that the tables give a line
  // each (a `cycle` column); 0: one line a realisation, no cycle column.
  int Cycles() const { return cycles_; }
  void SetCycles(int cycles) { cycles_ = cycles; }
  // The lines of a realisation in the runs table, and of a grid point in
  // the summary.
  int LinesPerRow() const { return cycles_ > 0 ? cycles_ : 1; }

 private:
  std::vector<GridAxis> axes_;
  DecimalSeparator separator_;  // the texts' separator
  std::size_t count_ = 1;
  int cycles_ = 0;
};

// Throws the Run's error (EConvertError) for the first grid point whose
// texts the Run refuses whatever the seed: a side the lattice cannot hold,
// fewer than one step, H0 below Hmin, a field step that rounds to zero.
// With largeSides, sides up to the largest the compact lattice holds, and
// `copies` of the largest lattice must fit in memory at once, each with the
// engine the model and `innerThreads` choose.
void CheckRunInputs(const SweepGrid& grid, bool largeSides = false, unsigned copies = 1, const ModelOptions& model = {},
                    unsigned innerThreads = 1);

// The seed of realisation r of a sweep seeded at seedMs: a time of day in
// milliseconds, (seedMs + 53398447 r) mod 86400000. Realisation r of every
// grid point shares it, so grid points compare on the same disorder.
std::uint32_t RealizationSeed(std::uint32_t seedMs, std::uint64_t r);

}  // namespace ebsim
