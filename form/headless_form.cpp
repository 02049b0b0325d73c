#include "form/headless_form.h"

#include "form/catalogue.h"
#include "form/form_layout.h"
#include "form/field_numbers.h"

namespace ebsim {

HeadlessFields::HeadlessFields(DecimalSeparator separator) : separator_(std::move(separator)) {
  for (const EditLayout& edit : FormEdits()) texts_[edit.field] = DefaultText(edit.field, separator_.Text());
}

}  // namespace ebsim
