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
  // Starts from the window's default texts, written with the separator in
  // force.
  HeadlessFields();
  std::string Text(InputField field) const override { return texts_.at(field); }
  void Set(InputField field, std::string text) { texts_[field] = std::move(text); }

 private:
  std::map<InputField, std::string> texts_;
};

class HeadlessReadouts final : public ReadoutFields {
 public:
  struct State {
    std::string text = "     ";
    std::optional<long double> value;  // the number behind the text, if any
  };

  void SetReadoutText(Readout field, const std::string& text) override;
  void NoteReadoutValue(Readout field, long double value) override { pending_[Index(field)] = value; }
  const State& Of(Readout field) const { return states_[Index(field)]; }

 private:
  static std::size_t Index(Readout field) { return static_cast<std::size_t>(field); }
  std::array<State, kReadoutCount> states_{};
  std::array<std::optional<long double>, kReadoutCount> pending_{};
};

}  // namespace ebsim
