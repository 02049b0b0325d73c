#pragma once
// The window's fields without a window: input texts kept in memory, and
// read-outs that remember both their text and the number behind it.

#include <array>
#include <map>
#include <optional>
#include <string>

#include "form/form_fields.h"

namespace ebsim {

class HeadlessFields final : public FieldTexts {
 public:
  // Starts from the window's default texts, written with the separator.
  explicit HeadlessFields(DecimalSeparator separator = {});
  std::string Text(Input input) const override { return texts_.at(input); }
  DecimalSeparator Separator() const override { return separator_; }
  void Set(Input input, std::string text) { texts_[input] = std::move(text); }

 private:
  DecimalSeparator separator_;
  std::map<Input, std::string> texts_;
};

class HeadlessReadouts final : public ReadoutFields {
 public:
  using State = ReadoutValue;

  void SetReadout(Quantity quantity, const ReadoutValue& shown) override { states_[Index(quantity)] = shown; }
  const State& Of(Quantity quantity) const { return states_[Index(quantity)]; }

 private:
  static std::size_t Index(Quantity quantity) { return static_cast<std::size_t>(quantity); }
  std::array<State, kQuantityCount> states_{};
};

}  // namespace ebsim
