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
  std::string Text(InputField field) const override { return texts_.at(field); }
  DecimalSeparator Separator() const override { return separator_; }
  void Set(InputField field, std::string text) { texts_[field] = std::move(text); }

 private:
  DecimalSeparator separator_;
  std::map<InputField, std::string> texts_;
};

class HeadlessReadouts final : public ReadoutFields {
 public:
  using State = ReadoutValue;

  void SetReadout(Readout field, const ReadoutValue& shown) override { states_[Index(field)] = shown; }
  const State& Of(Readout field) const { return states_[Index(field)]; }

 private:
  static std::size_t Index(Readout field) { return static_cast<std::size_t>(field); }
  std::array<State, kReadoutCount> states_{};
};

}  // namespace ebsim
