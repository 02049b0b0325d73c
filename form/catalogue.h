#pragma once
// The window's inputs and read-outs in one table: the physical name of each
// and the window's control for it, what it is called on the window and on
// ebsim's command line and in its files, its default text, and how it is
// read. Everything that lists them takes them from here, and this is the one
// place that maps the physical names to the window's controls.

#include <span>
#include <string>

#include "form/controls.h"
#include "model/physics_names.h"

namespace ebsim {

struct InputEntry {
  Input input;
  InputField control;       // the window's field
  const char* option;       // ebsim's option and CSV column
  const char* caption;      // the label at the field on the window
  const char* defaultText;  // "." standing for the decimal separator
  bool integer;             // read as an integer, else as a real
  const char* column;       // identifier in files and JSON ("field_sd")
  const char* meaning;      // one line for the help
  const char* unit;         // "" for a pure number
};

struct ReadoutEntry {
  Quantity quantity;
  Readout control;      // the window's read-out
  const char* caption;  // the label at the read-out on the window
  const char* id;       // identifier in files and JSON ("eb_shift")
  const char* meaning;  // how the Run computes it
  const char* unit;
};

// Side, dilution, enhancement, sd, h0, hmin, steps: the order of the options
// and of Input.
std::span<const InputEntry> Inputs();
const InputEntry& InputOf(Input input);
const InputEntry& InputOf(InputField control);
// In the order ebsim writes them, that of Quantity.
std::span<const ReadoutEntry> Readouts();
const ReadoutEntry& ReadoutOf(Quantity quantity);
const ReadoutEntry& ReadoutOf(Readout control);

// The input's default text, written with the separator.
std::string DefaultText(Input input, const std::string& separator);

}  // namespace ebsim
