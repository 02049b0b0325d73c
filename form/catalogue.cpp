#include "form/catalogue.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace ebsim {

namespace {

constexpr InputEntry kInputs[] = {
    {Input::Side, InputField::Edit5, "side", "Str. Dim. <= 300", "20", true, "side",
     "side N of the square lattice, 1 to 46340 as far as memory allows (the window: 1 to 300); N x N sites", "sites"},
    {Input::Dilution, InputField::Edit1, "dilution", "Dilution Level", "0.04", false, "dilution",
     "fraction of sites given the enhanced exchange constant (0 to 1)", ""},
    {Input::Enhancement, InputField::Edit3, "enhancement", "Enhancement Constant", "10", false, "enhancement",
     "exchange constant J of the enhanced sites (the others have J = 1)", "J"},
    {Input::FieldSd, InputField::Edit2, "sd", "Stardard Deviation (SD)", "2", false, "field_sd",
     "standard deviation of the Gaussian random field on every site", "J"},
    {Input::H0, InputField::Edit4, "h0", "Init. Mag. Field", "3", false, "h0",
     "applied field at the start and the end of the loop", "J"},
    {Input::Hmin, InputField::Edit10, "hmin", "Min. Mag. Field", "-3", false, "hmin",
     "applied field at the turning point of the loop", "J"},
    {Input::Steps, InputField::Edit6, "steps", "Number of Steps", "300", true, "steps",
     "field steps over the whole loop (each branch takes half)", "steps"},
};

constexpr ReadoutEntry kReadouts[] = {
    {Quantity::SurfaceRatio, Readout::MaskEdit10, "Surface Ratio of Dilution", "surface_ratio",
     "fraction of the N x N sites that drew the enhanced exchange constant", ""},
    {Quantity::EbShift, Readout::MaskEdit3, "E-B Shift", "eb_shift",
     "-(|H_down| - H_up) / 2, H_down and H_up the fields where M last changed sign on the two branches", "J"},
    {Quantity::Coercivity, Readout::MaskEdit4, "Coercivity", "coercivity", "|H_up| + |H_down|, the loop's width at M = 0 where H_down <= 0 <= H_up", "J"},
    {Quantity::VerticalShift, Readout::MaskEdit5, "Vertical Shift", "vertical_shift",
     "(1 - (1 - M_max) / 2 + M_min) / 2, M_min and M_max the extremes of the ascending branch (M_max at H >= H0)",
     "spin"},
    {Quantity::Magnetization, Readout::MaskEdit2, "Magnetization", "magnetization", "mean spin M after the last field step", "spin"},
    {Quantity::AppliedField, Readout::MaskEdit1, "Applied Field", "applied_field", "applied field H of the last field step", "J"},
    {Quantity::OpenEnd, Readout::MaskEdit6, "Open End", "open_end", "1 - M at the end of the loop: the gap left to saturation", "spin"},
    {Quantity::PlusSpinsAtHmin, Readout::MaskEdit7, "+1 spins at H_min.", "plus_spins_at_hmin",
     "fraction of the N x N spins that are +1 at the turning point Hmin", ""},
    {Quantity::MinusSpinsAtHmax, Readout::MaskEdit8, "-1 spins at H_max", "minus_spins_at_hmax",
     "fraction of the N x N spins that are -1 at the end of the ascending branch", ""},
};

// Each table in the order of its names, so that a name's number is its row.
template <class Entry, std::size_t count, class Name>
constexpr bool InNameOrder(const Entry (&entries)[count], Name Entry::*name) {
  for (std::size_t k = 0; k < count; ++k)
    if (static_cast<std::size_t>(entries[k].*name) != k) return false;
  return true;
}
static_assert(std::size(kInputs) == kInputCount && InNameOrder(kInputs, &InputEntry::input));
static_assert(std::size(kReadouts) == kQuantityCount && InNameOrder(kReadouts, &ReadoutEntry::quantity));

}  // namespace

std::span<const InputEntry> Inputs() { return kInputs; }

const InputEntry& InputOf(Input input) { return kInputs[static_cast<std::size_t>(input)]; }

const InputEntry& InputOf(InputField control) {
  return *std::find_if(std::begin(kInputs), std::end(kInputs),
                       [&](const InputEntry& e) { return e.control == control; });
}

std::span<const ReadoutEntry> Readouts() { return kReadouts; }

const ReadoutEntry& ReadoutOf(Quantity quantity) { return kReadouts[static_cast<std::size_t>(quantity)]; }

const ReadoutEntry& ReadoutOf(Readout control) {
  return *std::find_if(std::begin(kReadouts), std::end(kReadouts),
                       [&](const ReadoutEntry& e) { return e.control == control; });
}

std::string DefaultText(Input input, const std::string& separator) {
  std::string text = InputOf(input).defaultText;
  if (const auto dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, separator);
  return text;
}

}  // namespace ebsim
