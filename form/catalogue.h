#pragma once
// The window's inputs and read-outs in one table: what each is called on
// the window and on ebsim's command line and in its files, its default
// text, and how it is read. Everything that lists them takes them from here.

#include <span>
#include <string>

#include "form/controls.h"

namespace ebsim {

struct InputEntry {
  InputField field;
  const char* option;       // ebsim's option and CSV column
  const char* caption;      // the label at the field on the window
  const char* defaultText;  // "." standing for the decimal separator
  bool integer;             // read as an integer, else as a real
  const char* column;       // identifier in files and JSON ("field_sd")
  const char* meaning;      // one line for the help
  const char* unit;         // "" for a pure number
};

struct ReadoutEntry {
  Readout field;
  const char* caption;  // the label at the read-out on the window
  const char* id;       // identifier in files and JSON ("eb_shift")
  const char* meaning;  // how the Run computes it
  const char* unit;
};

// Side, dilution, enhancement, sd, h0, hmin, steps: the order of the options.
std::span<const InputEntry> Inputs();
const InputEntry& InputOf(InputField field);
// In the order ebsim writes them.
std::span<const ReadoutEntry> Readouts();
const ReadoutEntry& ReadoutOf(Readout field);

// The field's default text, written with the separator.
std::string DefaultText(InputField field, const std::string& separator);

}  // namespace ebsim
