#include "batch/sweep_grid.h"

#include <cmath>
#include <stdexcept>

#include "form/field_numbers.h"
#include "form/catalogue.h"
#include "form/field_parameters.h"
#include "run/engine_choice.h"
#include "run/large_lattice.h"
#include "run/simulator.h"

namespace ebsim {

namespace {

constexpr std::size_t kMostValues = 100000;
constexpr std::uint64_t kMillisecondsPerDay = 86400000;
// Coprime with the day's milliseconds, about the golden section of it: the
// seeds of successive realisations spread over the whole day.
constexpr std::uint64_t kSeedStride = 53398447;

void CheckReadable(Input input, const std::string& text, const DecimalSeparator& separator) {
  if (InputOf(input).integer)
    (void)ReadIntegerField(text);
  else
    (void)ReadRealField(text, separator);
}

std::vector<std::string> Split(const std::string& value, const std::string& separators) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = value.find_first_of(separators, start);
    items.push_back(value.substr(start, at - start));
    if (at == std::string::npos) return items;
    start = at + 1;
  }
}

std::vector<std::string> Range(const std::string& value, const DecimalSeparator& separator) {
  const std::vector<std::string> parts = Split(value, ":");
  if (parts.size() != 3) throw std::invalid_argument("a range is start:end:step, not '" + value + "'");
  const long double start = ReadRealField(parts[0], separator);
  const long double end = ReadRealField(parts[1], separator);
  const long double step = ReadRealField(parts[2], separator);
  if (step == 0 || (end - start) / step < 0)
    throw std::invalid_argument("the step of '" + value + "' does not lead from its start to its end");
  const long double steps = (end - start) / step;
  if (!(steps < kMostValues)) throw std::invalid_argument("'" + value + "' holds too many values");
  // The end counts when it lies within a billionth of a step of one.
  const auto last = static_cast<std::size_t>(std::floor(steps + 1e-9L));
  std::vector<std::string> texts;
  for (std::size_t k = 0; k <= last; ++k) texts.push_back(FormatReal(start + static_cast<long double>(k) * step, separator));
  return texts;
}

}  // namespace

std::vector<std::string> ParseAxisValues(Input input, const std::string& value, const DecimalSeparator& separator) {
  std::vector<std::string> texts;
  if (value.find(':') != std::string::npos) {
    texts = Range(value, separator);
  } else {
    texts = Split(value, separator.CodePoint() == U',' ? ";" : ";,");
  }
  if (texts.size() > kMostValues) throw std::invalid_argument("'" + value + "' holds too many values");
  for (const std::string& text : texts) CheckReadable(input, text, separator);
  return texts;
}

SweepGrid::SweepGrid(std::vector<GridAxis> axes, DecimalSeparator separator)
    : axes_(std::move(axes)), separator_(std::move(separator)) {
  for (const GridAxis& axis : axes_)
    if (__builtin_mul_overflow(count_, axis.texts.size(), &count_))
      throw std::invalid_argument("the grid holds more points than can be counted");
}

std::vector<std::string> SweepGrid::PointTexts(std::size_t k) const {
  std::vector<std::string> texts(axes_.size());
  for (std::size_t a = axes_.size(); a-- > 0;) {
    const std::size_t size = axes_[a].texts.size();
    texts[a] = axes_[a].texts[k % size];
    k /= size;
  }
  return texts;
}

HeadlessFields SweepGrid::PointFields(std::size_t k) const {
  HeadlessFields fields(separator_);
  const std::vector<std::string> texts = PointTexts(k);
  for (std::size_t a = 0; a < axes_.size(); ++a) fields.Set(axes_[a].input, texts[a]);
  return fields;
}

std::uint32_t RealizationSeed(std::uint32_t seedMs, std::uint64_t r) {
  return static_cast<std::uint32_t>((seedMs + (kSeedStride * (r % kMillisecondsPerDay)) % kMillisecondsPerDay) %
                                    kMillisecondsPerDay);
}

void CheckRunInputs(const SweepGrid& grid, bool largeSides, unsigned copies, const ModelOptions& model,
                    unsigned innerThreads) {
  // Only the side, the steps and the field bounds decide; the other axes
  // keep their first text.
  std::vector<const GridAxis*> deciding;
  HeadlessFields fields = grid.PointFields(0);
  for (const GridAxis& axis : grid.Axes()) {
    fields.Set(axis.input, axis.texts.front());
    const Input f = axis.input;
    if (f == Input::Side || f == Input::Steps || f == Input::H0 || f == Input::Hmin)
      deciding.push_back(&axis);
  }
  std::vector<std::size_t> at(deciding.size(), 0);
  for (;;) {
    for (std::size_t a = 0; a < deciding.size(); ++a) fields.Set(deciding[a]->input, deciding[a]->texts[at[a]]);
    CheckRunInputs(fields, largeSides);
    if (const auto side = largeSides ? LargeSide(fields) : std::nullopt) {
      const FieldParameters parameters(fields);
      const int threads = static_cast<int>(innerThreads);
      CheckLargeLatticeFits(*side, copies, ChosenEngine(model, parameters, *side, threads));
    }
    std::size_t a = 0;
    while (a < deciding.size() && ++at[a] == deciding[a]->texts.size()) at[a++] = 0;
    if (a == deciding.size()) return;
  }
}

}  // namespace ebsim
