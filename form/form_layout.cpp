#include "form/form_layout.h"

#include <array>
#include <stdexcept>

namespace ebsim {

namespace {

constexpr int kPanelSide = 289;
constexpr int kSwatch = 15;

const ShapeLayout kShapes[] = {
    {"Shape1", 21, 20, kPanelSide, kPanelSide, clRed, clWhite, Panel::Shape1},
    {"Shape2", 317, 20, kPanelSide, kPanelSide, clYellow, clCaptionText, Panel::Shape2},
    {"Shape3", 21, 343, kPanelSide, kPanelSide, clBlack, clYellow, Panel::Shape3},
    {"Shape4", 317, 343, kPanelSide, kPanelSide, clBlack, clYellow, Panel::Shape4},
    {"Shape22", 637, 343, kPanelSide, kPanelSide, clBlack, clWhite, Panel::Shape22},
    // Legend of the random-field classes.
    {"Shape5", 608, 56, kSwatch, kSwatch, std::nullopt, clRed, std::nullopt},
    {"Shape6", 608, 72, kSwatch, kSwatch, std::nullopt, clYellow, std::nullopt},
    {"Shape7", 608, 88, kSwatch, kSwatch, std::nullopt, clLime, std::nullopt},
    {"Shape8", 608, 104, kSwatch, kSwatch, std::nullopt, clGreen, std::nullopt},
    {"Shape9", 608, 120, kSwatch, kSwatch, std::nullopt, clAqua, std::nullopt},
    {"Shape10", 608, 136, kSwatch, kSwatch, std::nullopt, clBlue, std::nullopt},
    {"Shape11", 608, 152, kSwatch, kSwatch, std::nullopt, clFuchsia, std::nullopt},
    {"Shape12", 608, 168, kSwatch, kSwatch, std::nullopt, clPurple, std::nullopt},
    // Legends of the map panels.
    {"Shape15", 88, 312, kSwatch, kSwatch, std::nullopt, clRed, std::nullopt},
    {"Shape16", 208, 312, kSwatch, kSwatch, std::nullopt, clWhite, std::nullopt},
    {"Shape17", 80, 636, kSwatch, kSwatch, std::nullopt, clBlack, std::nullopt},
    {"Shape20", 200, 636, kSwatch, kSwatch, std::nullopt, clYellow, std::nullopt},
    {"Shape13", 384, 636, kSwatch, kSwatch, clBlack, clBlack, std::nullopt},
    {"Shape14", 504, 636, kSwatch, kSwatch, std::nullopt, clYellow, std::nullopt},
};

const LabelLayout kLabels[] = {
    // Panel titles.
    {"label2", 30, 2, 276, 16, "Local Enhancement of Exchange Constants", FontRole::Title, clRed, false, false},
    {"Label4", 320, 2, 285, 16, "Quenched Random Fields: Gauss Distribution", FontRole::Title, clYellow, false, false},
    {"Label5", 38, 325, 255, 16, "Initial FM Exchange Energy: -J*S(i)*S(j)", FontRole::Title, clBlue, false, false},
    {"Label6", 408, 325, 106, 16, "Spin Distribution", FontRole::Title, clBlue, false, false},
    {"Label16", 728, 325, 104, 16, "Hysteresis Loop", FontRole::Title, clBlue, false, false},
    // Exchange-enhancement inputs and read-out.
    {"Label8", 617, 11, 18, 13, "J= ", FontRole::WindowBold, clRed, true, false},
    {"Label9", 610, 32, 132, 13, "Enhancement Constant", FontRole::WindowBold, clRed, true, false},
    {"Label3", 801, 32, 79, 13, "Dilution Level", FontRole::WindowBold, clRed, true, false},
    {"Label1", 889, 32, 79, 13, "Surface Ratio", FontRole::WindowBold, clRed, true, false},
    {"Label26", 889, 44, 59, 13, "of Dilution", FontRole::WindowBold, clRed, true, false},
    // Random-field input.
    {"Label7", 744, 110, 136, 13, "Stardard Deviation (SD)", FontRole::WindowBold, clYellow, true, false},
    // Run inputs.
    {"Label10", 634, 216, 69, 13, "Init. Mag. Field", FontRole::Window, clBlue, true, false},
    {"Label17", 721, 216, 72, 13, "Min. Mag. Field", FontRole::Window, clBlue, true, false},
    {"Label24", 802, 216, 76, 13, "Str. Dim. <= 300", FontRole::Window, clBlue, true, false},
    {"Label25", 894, 216, 79, 13, "Number of Steps", FontRole::Window, clBlue, true, false},
    // Loop read-outs.
    {"Label11", 643, 260, 51, 13, "E-B Shift", FontRole::WindowBold, clBlue, true, false},
    {"Label13", 728, 260, 57, 13, "Coercivity", FontRole::WindowBold, clBlue, true, false},
    {"Label12", 808, 260, 74, 13, "Vertical Shift", FontRole::WindowBold, clBlue, true, false},
    {"Label19", 896, 260, 106, 13, "+1 spins at H_min.", FontRole::WindowBold, clBlue, true, false},
    {"Label14", 628, 304, 80, 13, "Magnetization", FontRole::WindowBold, clBlue, true, false},
    {"Label15", 721, 304, 74, 13, "Applied Field", FontRole::WindowBold, clBlue, true, false},
    {"Label18", 809, 304, 57, 13, "Open End", FontRole::WindowBold, clBlue, true, false},
    {"Label20", 896, 300, 102, 13, "-1 spins at H_max", FontRole::WindowBold, clBlue, true, false},
    // Credit line.
    {"Label23", 16, 664, 496, 13,
     "Zero-temperature random-field Ising model on a square lattice: hysteresis and exchange bias",
     FontRole::Window, clGray, false, true},
};

const EditLayout kEdits[] = {
    {"Edit3", InputField::Edit3, 632, 8, 12},
    {"Edit1", InputField::Edit1, 808, 8, 1},
    {"Edit2", InputField::Edit2, 808, 88, 2},
    {"Edit4", InputField::Edit4, 632, 192, 15},
    {"Edit10", InputField::Edit10, 720, 192, 20},
    {"Edit5", InputField::Edit5, 808, 192, 29},
    {"Edit6", InputField::Edit6, 896, 192, 30},
};

const ReadoutLayout kReadouts[] = {
    {"MaskEdit10", Readout::MaskEdit10, 888, 8, 35},
    {"MaskEdit3", Readout::MaskEdit3, 632, 238, 23},
    {"MaskEdit4", Readout::MaskEdit4, 720, 238, 24},
    {"MaskEdit5", Readout::MaskEdit5, 808, 238, 25},
    {"MaskEdit7", Readout::MaskEdit7, 896, 238, 33},
    {"MaskEdit2", Readout::MaskEdit2, 632, 280, 22},
    {"MaskEdit1", Readout::MaskEdit1, 720, 280, 21},
    {"MaskEdit6", Readout::MaskEdit6, 808, 280, 32},
    {"MaskEdit8", Readout::MaskEdit8, 896, 278, 34},
};

const ButtonLayout kButtons[] = {
    {"Button1", 720, 48, 161, 30, "Run LEE Constants", FontRole::Window, 0},
    {"Button2", 720, 128, 161, 33, "Run QRF Fields", FontRole::Window, 3},
    {"Button3", 640, 656, 97, 33, "Run", FontRole::LargeButton, 16},
    {"Button5", 752, 656, 81, 33, "Clear", FontRole::LargeButton, 28},
    {"Button4", 848, 656, 81, 33, "Exit", FontRole::LargeButton, 17},
};

const StaticTextLayout kStaticTexts[] = {
    {"StaticText1", 627, 56, 56, "QRF<-3SD", clYellow, 4},
    {"StaticText2", 627, 72, 86, "-3SD<QRF<-2SD", clYellow, 5},
    {"StaticText3", 627, 88, 80, "-2SD<QRF<-SD", clYellow, 6},
    {"StaticText4", 627, 104, 62, "-SD<QRF<0", clYellow, 7},
    {"StaticText5", 627, 120, 59, "0<QRF<SD", clYellow, 8},
    {"StaticText6", 627, 136, 74, "SD<QRF<2SD", clYellow, 9},
    {"StaticText7", 627, 152, 80, "2SD<QRF<3SD", clYellow, 10},
    {"StaticText8", 627, 168, 53, "QRF>3SD", clYellow, 11},
    {"StaticText11", 112, 312, 21, "J>1", clWindowText, 26},
    {"StaticText12", 232, 312, 21, "J=1", clWindowText, 27},
    {"StaticText13", 104, 636, 48, "FM EE>4", clWindowText, 18},
    {"StaticText16", 224, 636, 54, "FM EE=<4", clWindowText, 19},
    {"StaticText9", 408, 636, 26, "S= 1", clWindowText, 13},
    {"StaticText10", 528, 636, 29, "S= -1", clWindowText, 14},
};

const ProgressLayout kProgress{"ProgressBar1", 637, 640, 289, 9, 31};

}  // namespace

std::span<const ShapeLayout> FormShapes() { return kShapes; }
std::span<const LabelLayout> FormLabels() { return kLabels; }
std::span<const EditLayout> FormEdits() { return kEdits; }
std::span<const ReadoutLayout> FormReadouts() { return kReadouts; }
std::span<const ButtonLayout> FormButtons() { return kButtons; }
std::span<const StaticTextLayout> FormStaticTexts() { return kStaticTexts; }
const ProgressLayout& FormProgressBar() { return kProgress; }

const ShapeLayout& PanelShape(Panel panel) {
  for (const ShapeLayout& shape : kShapes)
    if (shape.panel == panel) return shape;
  throw std::logic_error("unknown panel");
}

const EditLayout& EditOf(InputField field) {
  for (const EditLayout& edit : kEdits)
    if (edit.field == field) return edit;
  throw std::logic_error("unknown input field");
}

const char* FormCaption() {
  return "Exchange bias simulation - Random-Field Ising Model"
         "                                                                                       "
         "ver_for_QVTR_2-dim_cond_100";
}


}  // namespace ebsim
