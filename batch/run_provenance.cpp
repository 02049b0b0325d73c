#include "batch/run_provenance.h"

#include "base/utf8.h"
#include "base/version.h"
#include "form/catalogue.h"

namespace ebsim {

Json RunProvenance(const FieldTexts& fields, std::uint32_t seedMs) {
  Json inputs = Json::object();
  for (const InputEntry& input : Inputs()) inputs[input.column] = ValidUtf8(fields.Text(input.input));
  return Json{{"version", ProgramVersion()},
              {"seed_ms", seedMs},
              {"separator", EncodeUtf8(fields.Separator().CodePoint())},
              {"inputs", inputs}};
}

}  // namespace ebsim
