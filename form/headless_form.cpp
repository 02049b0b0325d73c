#include "form/headless_form.h"

#include "form/form_layout.h"
#include "form/field_numbers.h"

namespace ebsim {

HeadlessFields::HeadlessFields() {
  for (const EditLayout& edit : FormEdits()) texts_[edit.field] = DefaultText(edit.field, DecimalSeparatorText());
}

void HeadlessReadouts::SetReadoutText(Readout field, const std::string& text) {
  State& state = states_[Index(field)];
  state.text = text;
  // A number arrives just before its text; a text without one (the blanks
  // of a cleared read-out) leaves no number behind.
  state.value = pending_[Index(field)];
  pending_[Index(field)].reset();
}

}  // namespace ebsim
