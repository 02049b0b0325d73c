#include "form/headless_form.h"

#include "form/catalogue.h"

namespace ebsim {

HeadlessFields::HeadlessFields(DecimalSeparator separator) : separator_(std::move(separator)) {
  for (const InputEntry& input : Inputs()) texts_[input.input] = DefaultText(input.input, separator_.Text());
}

}  // namespace ebsim
