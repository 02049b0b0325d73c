#include "cli/rerun_command.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <stdexcept>
#include <streambuf>

#include "base/version.h"
#include "batch/sweep_metadata.h"
#include "cli/command_options.h"
#include "cli/run_command.h"
#include "cli/sweep_command.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

namespace fs = std::filesystem;

// The tables of a sweep by the kind their metadata names, with the option
// that writes each and the name a rerun gives it when the command wrote it
// to standard output.
struct TableKind {
  const char* file;
  const char* option;
  const char* name;
};
constexpr TableKind kTables[] = {{"runs", "out", "runs.csv"},
                                 {"summary", "summary", "summary.csv"},
                                 {"loops", "loops", "loops.csv"},
                                 {"loop_mean", "loop-mean", "loop_mean.csv"}};

// What reruns a file: ebsim sweep or ebsim run with these arguments, and
// where the rerun writes its copy of the file.
struct Rerun {
  bool sweep = true;
  std::vector<std::string> args;
  fs::path copy;
  std::vector<fs::path> written;  // every file and folder it writes
  // Files it reads, written into the scratch folder first: path, text.
  std::vector<std::pair<fs::path, std::string>> inputs;
};

// The first line's metadata; the messages follow the file's name. HDF5
// files (--h5) are told apart here: they hold the same metadata as
// attributes, and a rerun of one reads it there.
Json ProvenanceOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || (!std::getline(in, line) && in.bad()))
    throw std::runtime_error(std::string("cannot be read: ") + std::strerror(errno ? errno : EIO));
  if (line.rfind("\x89HDF\r", 0) == 0) throw std::runtime_error("is an HDF5 file; rerun a CSV table of the same sweep");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::optional<Json> metadata = ReadCommentLine(line);
  if (!metadata || !metadata->contains("file") || !metadata->at("file").is_string())
    throw std::runtime_error("is not a table ebsim wrote: its first line is no metadata line");
  return *metadata;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ";") + text;
  return joined;
}

// The options of the sweep the metadata names (a merge's tables, which
// have no sweep command): the grid's texts, the separator, the
// realisations and the shard.
std::map<std::string, std::string> IdentityOptions(const Json& metadata) {
  const Json& sweep = metadata.at("sweep");
  std::map<std::string, std::string> values;
  for (const auto& [column, texts] : sweep.at("grid").items())
    for (const InputEntry& input : Inputs())
      if (column == input.column) values[input.option] = Joined(texts.get<std::vector<std::string>>());
  values["sep"] = sweep.at("separator").get<std::string>();
  values["realizations"] = std::to_string(sweep.at("realizations").get<std::uint64_t>());
  if (metadata.contains("shard") && metadata.at("shard") != "0/1") values["shard"] = metadata.at("shard");
  return values;
}

// The options of the sweep command that wrote the file, without --resume;
// those of its metadata's sweep when the command is no sweep's.
std::map<std::string, std::string> SweepOptions(const Json& metadata) {
  const auto line = metadata.at("command").get<std::vector<std::string>>();
  std::size_t skip = 0;
  if (line.size() >= 2 && line[0] == "ebsim" && line[1] == "sweep") skip = 2;
  else if (!line.empty() && line[0] == "ebsim.sweep") skip = 1;
  else return IdentityOptions(metadata);
  const std::vector<std::string> args(line.begin() + static_cast<std::ptrdiff_t>(skip), line.end());
  try {
    return ParseArgs(SweepSpec(), args).values;
  } catch (const std::invalid_argument& bad) {
    throw std::runtime_error("has a command this ebsim does not run: " + std::string(bad.what()));
  }
}

// A name in the scratch folder for an output of the original command.
fs::path InScratch(const fs::path& scratch, const std::string& path, const char* fallback) {
  fs::path named = fs::path(path).lexically_normal();
  if (!named.has_filename()) named = named.parent_path();  // "spins/"
  const fs::path name = named.filename();
  const bool none = path == "-" || name.empty() || name == "." || name == "..";
  return scratch / (none ? fs::path(fallback) : name);
}

Rerun SweepRerun(const Json& metadata, const std::string& file, const fs::path& scratch) {
  std::map<std::string, std::string> values = SweepOptions(metadata);
  values.erase("threads");  // the rows are the same on any count: this machine's
  values["seed-ms"] = std::to_string(metadata.at("sweep").at("seed_ms").get<std::uint32_t>());
  Rerun rerun;
  for (const TableKind& table : kTables) {
    const auto given = values.find(table.option);
    const bool wanted = metadata.at("file") == table.file;
    if (!wanted && (given == values.end() || given->second == "-") && std::string(table.option) != "out") {
      if (given != values.end()) values.erase(given);
      continue;
    }
    const fs::path path = InScratch(scratch, wanted ? file : given == values.end() ? "-" : given->second, table.name);
    values[table.option] = path.string();
    rerun.written.push_back(path);
    if (wanted) rerun.copy = path;
  }
  // Every other file or folder the command wrote (--spins, ...) goes into
  // the scratch folder too, under its own name.
  for (const OptionSpec& option : SweepSpec().options) {
    const auto given = values.find(option.name);
    if (given == values.end() || (option.valueName != "FILE" && option.valueName != "DIR")) continue;
    if (option.name == "fields") continue;  // read, not written
    if (std::find(rerun.written.begin(), rerun.written.end(), fs::path(given->second)) != rerun.written.end()) continue;
    if (given->second == "-") {
      values.erase(given);
      continue;
    }
    given->second = InScratch(scratch, given->second, option.name.c_str()).string();
    rerun.written.push_back(given->second);
  }
  for (const auto& [name, value] : values) rerun.args.insert(rerun.args.end(), {"--" + name, value});
  return rerun;
}

// The options beyond the window's a run's metadata names: the field history
// written anew into the scratch folder, the spins asked for into it too.
void AddModelOptions(const Json& model, const fs::path& scratch, Rerun& rerun) {
  rerun.args.insert(rerun.args.end(), {"--dynamics", model.at("dynamics").get<std::string>(), "--boundary",
                                       model.at("boundary").get<std::string>()});
  if (model.contains("fields")) {
    const fs::path fields = scratch / "fields.txt";
    std::string text;
    for (const Json& line : model.at("fields")) text += line.get<std::string>() + "\n";
    rerun.inputs.emplace_back(fields, text);
    rerun.args.insert(rerun.args.end(), {"--fields", fields.string()});
    rerun.written.push_back(fields);
  } else {
    rerun.args.insert(rerun.args.end(), {"--cycles", std::to_string(model.at("cycles").get<int>())});
  }
  std::string steps;
  for (const Json& step : model.at("spins_at")) steps += (steps.empty() ? "" : ";") + std::to_string(step.get<std::int64_t>());
  if (steps.empty()) return;
  const fs::path spins = scratch / "spins";
  rerun.args.insert(rerun.args.end(), {"--spins", spins.string(), "--spins-at", steps});
  rerun.written.push_back(spins);
}

// ebsim run --loop-csv and the window's loop files: the seed and the texts.
Rerun RunRerun(const Json& metadata, const std::string& file, const fs::path& scratch) {
  const bool window = metadata.value("program", "") == "window";
  if (window && !metadata.value("repeat", Json()).is_string())
    throw std::runtime_error("cannot be rerun: " + metadata.value("not_repeatable", std::string("no repeat command")));
  const Json& inputs = metadata.at(window ? "exchange_inputs" : "inputs");
  Rerun rerun{false, {"--seed-ms", std::to_string(metadata.at("seed_ms").get<std::uint32_t>()), "--sep",
                      metadata.at("separator").get<std::string>()}, InScratch(scratch, file, "loop.csv"), {}, {}};
  for (const InputEntry& input : Inputs())
    rerun.args.insert(rerun.args.end(), {std::string("--") + input.option, inputs.at(input.column).get<std::string>()});
  rerun.args.insert(rerun.args.end(), {"--loop-csv", rerun.copy.string()});
  rerun.written.push_back(rerun.copy);
  if (const Json model = metadata.value("model", Json()); model.is_object()) AddModelOptions(model, scratch, rerun);
  return rerun;
}

Rerun RerunOf(const Json& metadata, const std::string& file, const fs::path& scratch) {
  try {
    if (metadata.at("file") == "loop") return RunRerun(metadata, file, scratch);
    for (const TableKind& table : kTables)
      if (metadata.at("file") == table.file) return SweepRerun(metadata, file, scratch);
  } catch (const Json::exception& bad) {
    throw std::runtime_error("lacks in its metadata line what reruns it (" + std::string(bad.what()) + ")");
  }
  throw std::runtime_error("is a file of kind '" + metadata.at("file").get<std::string>() +
                           "', which ebsim rerun does not know");
}

// The scratch folder: --into DIR, made if missing, else a new one.
fs::path ScratchFolder(const ParsedArgs& parsed) {
  if (const auto into = parsed.values.find("into"); into != parsed.values.end()) {
    std::error_code failed;
    fs::create_directories(into->second, failed);
    if (failed) throw std::runtime_error("cannot make the folder '" + into->second + "': " + failed.message());
    return into->second;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / "ebsim-rerun.XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a scratch folder '" + pattern + "': " + std::strerror(errno));
  return pattern;
}

void CheckNothingThere(const Rerun& rerun, const fs::path& scratch) {
  for (const fs::path& path : rerun.written) {
    std::error_code unused;
    if (fs::exists(fs::symlink_status(path, unused)))
      throw std::runtime_error("'" + scratch.string() + "' already holds '" + path.filename().string() +
                               "'; a rerun writes into a folder without the files it writes");
  }
}

std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_./:=,+-") ==
                          std::string::npos)
    return arg;
  std::string quoted = "'";
  for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Discards what is written to it.
class NullBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return c == EOF ? 0 : c; }
};

}  // namespace

namespace {

struct Comparison {
  bool identical = false;
  std::string verdict;
};

// The end line's completeness, or none for a line that is no end line.
std::optional<bool> EndOf(const std::string& line) {
  const std::optional<Json> end = ReadCommentLine(line);
  if (!end || !end->contains("end")) return std::nullopt;
  return end->value("complete", false);
}

std::string Shown(const std::string& line) { return line.size() > 160 ? line.substr(0, 160) + "..." : line; }

// The lines after the metadata line, byte for byte, up to the end line.
// An original without an end line, or whose end line says it is not
// complete, is compared as far as it goes.
Comparison Compare(const std::string& original, const fs::path& copy) {
  std::ifstream a(original, std::ios::binary), b(copy, std::ios::binary);
  std::string x, y;
  std::getline(a, x);
  std::getline(b, y);
  for (std::uint64_t line = 2, rows = 0;; ++line, ++rows) {
    const bool more = static_cast<bool>(std::getline(a, x)), theirs = static_cast<bool>(std::getline(b, y));
    const std::optional<bool> end = more ? EndOf(x) : std::optional<bool>(false);
    const std::string lines = rows ? "header and " + std::to_string(rows - 1) + " rows" : "nothing";
    if (end && !*end)
      return {true, "'" + original + "' is not complete (its sweep or run was stopped): its " + lines +
                        " are the rerun's first, byte for byte"};
    const bool rerunEnded = !theirs || EndOf(y);
    if (end && rerunEnded)
      return {true, "identical: the " + lines + " of '" + original + "' are the rerun's, byte for byte"};
    if (end) return {false, "the rerun has more lines than '" + original + "', which ends after line " +
                                std::to_string(line - 1) + ": '" + Shown(y) + "'"};
    if (rerunEnded)
      return {false,
              "line " + std::to_string(line) + " of '" + original + "' is past the rerun's end: '" + Shown(x) + "'"};
    if (x != y)
      return {false, "line " + std::to_string(line) + " differs: '" + original + "' has '" + Shown(x) +
                         "', the rerun '" + Shown(y) + "'"};
  }
}

std::string VersionOf(const Json& metadata) {
  const Json& holder = metadata.contains("sweep") ? metadata.at("sweep") : metadata;
  return holder.value("version", std::string("an unknown version"));
}

}  // namespace

int RerunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop) {
  ParsedArgs parsed;
  try {
    parsed = ParseArgs(RerunSpec(), args);
    if (!parsed.help && parsed.positionals.size() != 1) throw std::invalid_argument("give one file to rerun");
  } catch (const std::invalid_argument& bad) {
    err << "ebsim rerun: " << bad.what() << "\n";
    return 2;
  }
  if (parsed.help) {
    out << CommandHelp(RerunSpec());
    return 0;
  }
  const std::string& file = parsed.positionals[0];
  Json metadata;
  Rerun rerun;
  fs::path scratch;
  try {
    metadata = ProvenanceOf(file);
    rerun = RerunOf(metadata, file, "DIR");  // refused before a folder is made
  } catch (const std::runtime_error& bad) {
    err << "ebsim rerun: '" << file << "' " << bad.what() << "\n";
    return 1;
  }
  try {
    scratch = ScratchFolder(parsed);
    rerun = RerunOf(metadata, file, scratch);
    CheckNothingThere(rerun, scratch);
    for (const auto& [path, text] : rerun.inputs) {
      std::ofstream input(path);
      if (!(input << text << std::flush)) throw std::runtime_error("cannot write '" + path.string() + "'");
    }
  } catch (const std::runtime_error& bad) {
    err << "ebsim rerun: " << bad.what() << "\n";
    return 1;
  }
  std::string shown = rerun.sweep ? "ebsim sweep" : "ebsim run";
  for (const std::string& arg : rerun.args) shown += " " + Quoted(arg);
  err << "ebsim rerun: rerunning into '" << scratch.string() << "': " << shown << std::endl;
  NullBuffer discarded;
  std::ostream nowhere(&discarded);
  const int code = rerun.sweep ? SweepCommand(rerun.args, nowhere, err, stop) : RunCommand(rerun.args, nowhere, err);
  if (code >= 128) return code;
  std::error_code unused;
  if (!fs::exists(rerun.copy, unused)) {
    err << "ebsim rerun: the rerun wrote no '" << rerun.copy.string() << "'\n";
    return 1;
  }
  if (VersionOf(metadata) != ProgramVersion())
    out << "ebsim rerun: '" << file << "' was written by ebsim " << VersionOf(metadata) << "; this is ebsim "
        << ProgramVersion() << "\n";
  const Comparison comparison = Compare(file, rerun.copy);
  out << "ebsim rerun: " << comparison.verdict << " ('" << rerun.copy.string() << "')\n";
  return comparison.identical ? 0 : 1;
}

}  // namespace ebsim
