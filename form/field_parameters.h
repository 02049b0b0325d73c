#pragma once
// The runs' parameters read from a form's field texts by the window's
// rules. Each call reads its text again, as the window does: a run that
// asks once per site reads the text once per site, and a text that does
// not read fails where the run first asks for it.

#include "form/form_fields.h"
#include "model/model_parameters.h"

namespace ebsim {

class FieldParameters final : public ModelParameters {
 public:
  explicit FieldParameters(const FieldTexts& fields) : fields_(fields) {}

  // An integer outside 1..largestSide fails with "'<text>' is not a valid
  // lattice side (1 to <largestSide>)".
  std::int32_t Side(std::int32_t largestSide) const override;
  long double Dilution() const override;
  long double Enhancement() const override;
  long double FieldSd() const override;
  long double H0() const override;
  long double Hmin() const override;
  // An integer below 1 fails with "'<text>' is not a valid number of steps
  // (1 or more)".
  std::int32_t Steps() const override;

 private:
  const FieldTexts& fields_;
};

}  // namespace ebsim
