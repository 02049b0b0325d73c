#pragma once
// A study file: the sweep of a study in TOML, kept beside the paper it is
// for. It names the grid by the inputs (side, dilution, enhancement,
// field_sd or sd, h0, hmin, steps), each a text as on the command line
// ("0:0.2:0.02", "1;2"), a number, or an array of them; the realizations,
// seed_ms, threads and separator; the dynamics, boundary, cycles, fields
// (a field history file) and spins_at (steps, an array or a text "1;5"),
// as the options of the same names take them; and an [outputs] table with
// out, summary, loops, loop_mean, spins and h5, and the flags h5_loops,
// h5_loop_mean and h5_spins (true or false). It stands for the `ebsim sweep`
// arguments that run the same sweep.

#include <string>
#include <vector>

namespace ebsim {

struct StudyFile {
  std::string path;                 // as given
  std::string text;                 // as read
  std::vector<std::string> sweep;   // the arguments of ebsim sweep it stands for
};

// Reads and checks the file: TOML syntax, every key known (the unknown
// ones are named, each with its line), every value of the kind its key
// takes. Throws std::invalid_argument with "PATH:LINE: what is wrong";
// std::runtime_error when it cannot be read.
StudyFile ReadStudyFile(const std::string& path);

// The keys a study file takes, for the help: top-level, then [outputs].
std::vector<std::string> StudyKeys();
std::vector<std::string> StudyOutputKeys();

}  // namespace ebsim
