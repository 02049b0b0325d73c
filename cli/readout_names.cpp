#include "cli/readout_names.h"

namespace ebsim {

namespace {

const ReadoutName kNames[] = {
    {"Surface Ratio of Dilution", Readout::MaskEdit10},
    {"E-B Shift", Readout::MaskEdit3},
    {"Coercivity", Readout::MaskEdit4},
    {"Vertical Shift", Readout::MaskEdit5},
    {"Magnetization", Readout::MaskEdit2},
    {"Applied Field", Readout::MaskEdit1},
    {"Open End", Readout::MaskEdit6},
    {"+1 spins at H_min.", Readout::MaskEdit7},
    {"-1 spins at H_max", Readout::MaskEdit8},
};

}  // namespace

std::span<const ReadoutName> ReadoutNames() { return kNames; }

}  // namespace ebsim
