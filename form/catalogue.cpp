#include "form/catalogue.h"

#include <algorithm>

namespace ebsim {

namespace {

const InputEntry kInputs[] = {
    {InputField::Edit5, "side", "Str. Dim. <= 300", "20", true},
    {InputField::Edit1, "dilution", "Dilution Level", "0.04", false},
    {InputField::Edit3, "enhancement", "Enhancement Constant", "10", false},
    {InputField::Edit2, "sd", "Stardard Deviation (SD)", "2", false},
    {InputField::Edit4, "h0", "Init. Mag. Field", "3", false},
    {InputField::Edit10, "hmin", "Min. Mag. Field", "-3", false},
    {InputField::Edit6, "steps", "Number of Steps", "300", true},
};

const ReadoutEntry kReadouts[] = {
    {Readout::MaskEdit10, "Surface Ratio of Dilution"},
    {Readout::MaskEdit3, "E-B Shift"},
    {Readout::MaskEdit4, "Coercivity"},
    {Readout::MaskEdit5, "Vertical Shift"},
    {Readout::MaskEdit2, "Magnetization"},
    {Readout::MaskEdit1, "Applied Field"},
    {Readout::MaskEdit6, "Open End"},
    {Readout::MaskEdit7, "+1 spins at H_min."},
    {Readout::MaskEdit8, "-1 spins at H_max"},
};

}  // namespace

std::span<const InputEntry> Inputs() { return kInputs; }

const InputEntry& InputOf(InputField field) {
  return *std::find_if(std::begin(kInputs), std::end(kInputs), [&](const InputEntry& e) { return e.field == field; });
}

std::span<const ReadoutEntry> Readouts() { return kReadouts; }

std::string DefaultText(InputField field, const std::string& separator) {
  std::string text = InputOf(field).defaultText;
  if (const auto dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, separator);
  return text;
}

}  // namespace ebsim
