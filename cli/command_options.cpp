#include "cli/command_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "base/version.h"
#include "cli/model_option_values.h"
#include "run/model_option_texts.h"
#include "cli/study_file.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

std::string InputHelp(const InputEntry& input, bool sweep) {
  std::string help = input.meaning;
  if (*input.unit) help += std::string(" [") + input.unit + "]";
  help += std::string("; default ") + input.defaultText;
  if (sweep) help += "; a list a;b;c or a range start:end:step sweeps it";
  return help;
}

// The options every command that runs the simulator takes.
std::vector<OptionSpec> InputOptions(bool sweep) {
  std::vector<OptionSpec> options;
  options.push_back({"seed-ms", {"seed"}, true, "S",
                     sweep ? "base seed: time of day in ms (0 to 86399999); realisation r uses "
                             "(S + 53398447 r) mod 86400000; default: the clock, printed on stderr"
                           : "seed: time of day in ms (0 to 86399999) as the window reads the clock; default: the clock"});
  for (const InputEntry& input : Inputs()) {
    OptionSpec option{input.option, {}, true, sweep ? "V" : "T", InputHelp(input, sweep)};
    if (std::string(input.column) != input.option) {
      option.aliases.push_back(input.column);
      std::replace(option.aliases.back().begin(), option.aliases.back().end(), '_', '-');
    }
    options.push_back(option);
  }
  options.push_back({"sep", {}, true, "C",
                     "decimal separator of the input texts: one character that no number, list or range "
                     "holds, and not #; default ."});
  return options;
}

CommandSpec MakeRun() {
  CommandSpec spec{"run", "the three runs of the window once; prints one JSON object", InputOptions(false), ""};
  spec.options.push_back({"loop", {}, false, "", "add the loop (step, branch, H, M per field step) to the JSON"});
  spec.options.push_back({"maps", {}, false, "", "add the N x N exchange, initial-energy and random-field maps"});
  spec.options.push_back({"loop-csv", {}, true, "FILE",
                          "write the loop as CSV (metadata line, step,branch,H,M) as it is swept; - for stdout"});
  spec.options.push_back({"threads", {}, true, "T",
                          "threads for the set-up, the relaxation passes and the sorting of the flip fields of sides "
                          "above 300; default: the processors of the affinity mask"});
  spec.options.push_back({"h5", {}, true, "FILE",
                          "write the run (its read-outs and loop, the provenance as attributes) as one HDF5 file, "
                          "laid out as ebsim sweep --h5 lays out a sweep of one point"});
  for (const OptionSpec& option : ModelOptionSpecs()) spec.options.push_back(option);
  spec.options.push_back({AdiabaticEntry().option, {}, false, "", AdiabaticEntry().meaning});
  spec.options.push_back({"avalanches", {}, true, "FILE",
                          "with --adiabatic: the avalanche sizes as CSV (metadata line, branch,size_min,size_max,count; "
                          "bins 1, 2-3, 4-7, ... per branch)"});
  spec.options.push_back({"spins", {}, true, "DIR",
                          "write the spins as DIR/step<K>.npy (int8, side x side; numpy.load) after the steps of "
                          "--spins-at, else at Hmin (the turning point)"});
  return spec;
}

CommandSpec MakeSweep() {
  CommandSpec spec{"sweep", "every point of a parameter grid for R disorder realisations, as CSV tables",
                   InputOptions(true), ""};
  const std::vector<OptionSpec> more = {
      {"realizations", {"realisations"}, true, "R", "disorder realisations per grid point; default 1"},
      {"threads", {}, true, "T", "worker threads; default: the processors of the affinity mask"},
      {"out", {}, true, "FILE", "the runs table, one row per realisation; default - (stdout)"},
      {"summary", {}, true, "FILE", "per grid point mean, sd, se and count of every read-out; default none"},
      {"shard", {}, true, "K/N",
       "run only work items K, K+N, K+2N, ... (item = point * R + realisation); default 0/1"},
      {"resume", {}, false, "",
       "keep the rows of an interrupted run already in --h5 (or else --out) and run the rest"},
      {"loops", {}, true, "FILE", "every realisation's loop: point, realization, step, branch, H, M"},
      {"avalanches", {}, true, "FILE",
       "with --adiabatic: per grid point the avalanche sizes of all its realisations (point, branch, size_min, "
       "size_max, count; bins 1, 2-3, 4-7, ... per branch)"},
      {"loop-mean", {}, true, "FILE", "the realisation-averaged loop per grid point with its standard error"},
      {"spins", {}, true, "DIR",
       "every realisation's spins at Hmin as DIR/point<P>_realization<R>.npy (int8, side x side; numpy.load)"},
      {"h5", {}, true, "FILE",
       "one HDF5 file (h5py, xarray) with the runs, the summary and what --loops, --loop-mean and --spins ask "
       "for, with the provenance as attributes; --out then defaults to none"},
      {"h5-loops", {}, false, "", "put every realisation's loop into --h5 (without a --loops CSV)"},
      {"h5-loop-mean", {}, false, "", "put the realisation-averaged loops into --h5 (without a --loop-mean CSV)"},
      {"h5-spins", {}, false, "", "put every realisation's spins at Hmin into --h5 (without a --spins folder)"},
  };
  spec.options.insert(spec.options.end(), more.begin(), more.end());
  for (OptionSpec option : ModelOptionSpecs()) {
    if (option.name == "spins-at")
      option.help = "write --spins after steps K1;K2;... (from 0 over each run) as "
                    "DIR/point<P>_realization<R>_step<K>.npy instead of at Hmin";
    spec.options.push_back(option);
  }
  spec.options.push_back({AdiabaticEntry().option, {}, false, "", AdiabaticEntry().meaning});
  return spec;
}

CommandSpec MakeRender() {
  CommandSpec spec{"render", "draws the window after the three runs into a PNG; prints the seed on stderr",
                   InputOptions(false), ""};
  spec.options.push_back({"png", {}, true, "FILE", "the picture to write (required)"});
  return spec;
}

CommandSpec MakeMerge() {
  return CommandSpec{"merge",
                     "joins the runs tables of a sweep's shards in the sweep's order; checks they belong "
                     "to one sweep, refuses overlaps, reports missing rows",
                     {{"out", {}, true, "FILE", "the merged runs table; default - (stdout)"},
                      {"summary", {}, true, "FILE", "the summary of the merged rows; default none"}},
                     "runs tables written by ebsim sweep --shard"};
}

std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

CommandSpec MakeStudy() {
  CommandSpec spec{"study",
                   "runs the sweep a study file (TOML) describes, as the ebsim sweep it stands for; the files' "
                   "metadata name the study file",
                   {{"resume", {}, false, "", "keep the rows of an interrupted run already in the study's out"},
                    {"threads", {}, true, "T", "worker threads, over the file's; default: the file's, else the "
                                               "processors of the affinity mask"}},
                   "the study file (TOML)"};
  spec.footer = "A study file takes the inputs " + Joined(StudyKeys()) + ", and in its table outputs " +
                Joined(StudyOutputKeys()) +
                ". An input is a text as ebsim sweep takes it (one value, a list a;b;c, a range start:end:step), a "
                "number, or an array of them; the outputs are paths relative to the folder ebsim runs in.\n";
  return spec;
}

CommandSpec MakeRerun() {
  CommandSpec spec{"rerun",
                   "reruns what wrote a table or an HDF5 file of ebsim (its metadata) into a scratch folder and "
                   "says whether the new rows are identical",
                   {{"into", {}, true, "DIR",
                     "the scratch folder, made if missing, which must hold none of the files written; default: a new "
                     "folder under $TMPDIR (or /tmp), named on stderr"}},
                   "a runs, summary, loops or loop-mean table of ebsim sweep, a loop of ebsim run --loop-csv, or "
                   "the HDF5 file of ebsim sweep --h5 or ebsim run --h5"};
  spec.footer = "Exit status: 0 when the rerun's rows are those of FILE byte for byte (an HDF5 file's datasets value "
                "for value), 1 when they differ or the rerun fails, 2 for a usage error. The original files are never "
                "written.\n";
  return spec;
}

std::unique_ptr<CLI::App> MakeApp(const CommandSpec& command, std::map<std::string, std::string>& values,
                                  std::map<std::string, bool>& flags, std::vector<std::string>& positionals) {
  auto app = std::make_unique<CLI::App>(command.summary, "ebsim " + command.name);
  app->get_formatter()->column_width(30);
  if (!command.footer.empty()) app->footer(command.footer);
  for (const OptionSpec& option : command.options) {
    std::string names = "--" + option.name;
    for (const std::string& alias : option.aliases) names += ",--" + alias;
    if (option.takesValue)
      app->add_option(names, values[option.name], option.help)
          ->type_name(option.valueName)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    else
      app->add_flag(names, flags[option.name], option.help)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }
  if (!command.positionals.empty()) app->add_option("files", positionals, command.positionals)->type_name("FILE");
  return app;
}

const OptionSpec* Find(const CommandSpec& command, const std::string& name) {
  for (const OptionSpec& option : command.options)
    if (option.name == name || std::find(option.aliases.begin(), option.aliases.end(), name) != option.aliases.end())
      return &option;
  return nullptr;
}

}  // namespace

const CommandSpec& RunSpec() {
  static const CommandSpec spec = MakeRun();
  return spec;
}
const CommandSpec& SweepSpec() {
  static const CommandSpec spec = MakeSweep();
  return spec;
}
const CommandSpec& RenderSpec() {
  static const CommandSpec spec = MakeRender();
  return spec;
}
const CommandSpec& MergeSpec() {
  static const CommandSpec spec = MakeMerge();
  return spec;
}
const CommandSpec& StudySpec() {
  static const CommandSpec spec = MakeStudy();
  return spec;
}
const CommandSpec& RerunSpec() {
  static const CommandSpec spec = MakeRerun();
  return spec;
}

std::span<const CommandSpec* const> Commands() {
  static const CommandSpec* const commands[] = {&RunSpec(),   &SweepSpec(), &StudySpec(),
                                                &RerunSpec(), &MergeSpec(), &RenderSpec()};
  return commands;
}

std::string CommandHelp(const CommandSpec& command) {
  std::map<std::string, std::string> values;
  std::map<std::string, bool> flags;
  std::vector<std::string> positionals;
  return MakeApp(command, values, flags, positionals)->help();
}

std::string ProgramHelp() {
  CLI::App app("ebsim: the exchange-bias simulator without its window", "ebsim");
  app.set_version_flag("--version", VersionText());
  for (const CommandSpec* command : Commands()) app.add_subcommand(command->name, command->summary);
  app.add_subcommand("help", "ebsim help CMD: the options of CMD, with their meaning, unit and default");
  return app.help();
}

std::string VersionText() { return std::string("ebsim ") + ProgramVersion(); }

ParsedArgs ParseArgs(const CommandSpec& command, std::span<const std::string> args) {
  ParsedArgs parsed;
  // Read the shape of the arguments first, with the messages users know,
  // and hand them to CLI11 as "--name=value" so that no value is ever
  // taken for an option ("--hmin -3", "--out -").
  std::vector<std::string> canonical;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) {
      if (command.positionals.empty()) throw std::invalid_argument("unexpected argument '" + arg + "'");
      if (arg.empty()) throw std::invalid_argument("a file name is an empty text");
      canonical.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (const auto equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const OptionSpec* option = Find(command, name);
    if (!option) throw std::invalid_argument("unknown option --" + name);
    if (!option->takesValue) {
      if (value) throw std::invalid_argument("--" + name + " takes no value");
      canonical.push_back("--" + option->name);
      continue;
    }
    if (!value) {
      if (k + 1 >= args.size()) throw std::invalid_argument("--" + name + " needs a value");
      value = args[++k];
    }
    if (value->empty() && (option->valueName == "FILE" || option->valueName == "DIR"))
      throw std::invalid_argument("--" + name + " takes a " + (option->valueName == "DIR" ? "folder" : "file") +
                                  " name, not an empty text");
    // CLI11 reads "--name=" as no value at all; an empty text is one.
    if (value->empty())
      canonical.insert(canonical.end(), {"--" + option->name, ""});
    else
      canonical.push_back("--" + option->name + "=" + *value);
  }
  std::map<std::string, std::string> values;
  std::map<std::string, bool> flags;
  auto app = MakeApp(command, values, flags, parsed.positionals);
  std::reverse(canonical.begin(), canonical.end());  // CLI11 takes them last first
  try {
    app->parse(canonical);
  } catch (const CLI::ParseError& bad) {
    throw std::invalid_argument(bad.what());
  }
  for (const OptionSpec& option : command.options) {
    if (option.takesValue && app->get_option("--" + option.name)->count()) parsed.values[option.name] = values[option.name];
    if (!option.takesValue && flags[option.name]) parsed.flags.push_back(option.name);
  }
  return parsed;
}

}  // namespace ebsim
