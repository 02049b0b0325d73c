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
#include "batch/h5_compare.h"
#include "batch/sweep_metadata.h"
#include "batch/sweep_output.h"
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
                                 {"loop_mean", "loop-mean", "loop_mean.csv"},
                                 {"h5", "h5", "sweep.h5"}};

// The kinds of ebsim's HDF5 files: a sweep's (--h5) and a run's.
bool IsH5Kind(const Json& metadata) { return metadata.at("file") == "h5" || metadata.at("file") == "run"; }

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

// An HDF5 file's metadata attribute. A file a stopped sweep left is
// refused: its datasets hold only the rows written before the stop.
Json H5ProvenanceOf(const std::string& path) {
  const H5FileHead head = ReadH5FileHead(path);
  const Json metadata = Json::parse(head.metadata, nullptr, false);
  if (!metadata.is_object() || !metadata.contains("file") || !metadata.at("file").is_string() || !IsH5Kind(metadata))
    throw std::runtime_error("is an HDF5 file whose metadata attribute is not ebsim's");
  if (!head.complete)
    throw std::runtime_error(
        "is not complete (its sweep or run was stopped): complete it with --resume, then rerun it");
  return metadata;
}

// The first line's metadata; the messages follow the file's name. HDF5
// files (--h5) are told apart here: they hold the same metadata as
// attributes, and a rerun of one reads it there.
Json ProvenanceOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || (!std::getline(in, line) && in.bad()))
    throw std::runtime_error(std::string("cannot be read: ") + std::strerror(errno ? errno : EIO));
  if (line.rfind("\x89HDF\r", 0) == 0) return H5ProvenanceOf(path);
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

// The options and flags of the sweep command that wrote the file, without
// --resume; the options of its metadata's sweep when the command is no
// sweep's.
ParsedArgs SweepOptions(const Json& metadata) {
  const auto line = metadata.at("command").get<std::vector<std::string>>();
  std::size_t skip = 0;
  if (line.size() >= 2 && line[0] == "ebsim" && line[1] == "sweep") skip = 2;
  else if (!line.empty() && line[0] == "ebsim.sweep") skip = 1;
  else return {IdentityOptions(metadata), {}, {}, false};
  const std::vector<std::string> args(line.begin() + static_cast<std::ptrdiff_t>(skip), line.end());
  try {
    ParsedArgs parsed = ParseArgs(SweepSpec(), args);
    std::erase(parsed.flags, "resume");
    return parsed;
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
  const ParsedArgs command = SweepOptions(metadata);
  std::map<std::string, std::string> values = command.values;
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
  for (const std::string& flag : command.flags) rerun.args.push_back("--" + flag);  // --h5-loops, ...
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

// ebsim run --loop-csv, ebsim run --h5 and the window's loop files: the
// seed and the texts.
Rerun RunRerun(const Json& metadata, const std::string& file, const fs::path& scratch) {
  const bool window = metadata.value("program", "") == "window";
  const bool h5 = metadata.at("file") == "run";
  if (window && !metadata.value("repeat", Json()).is_string())
    throw std::runtime_error("cannot be rerun: " + metadata.value("not_repeatable", std::string("no repeat command")));
  const Json& inputs = metadata.at(window ? "exchange_inputs" : "inputs");
  Rerun rerun{false,
              {"--seed-ms", std::to_string(metadata.at("seed_ms").get<std::uint32_t>()), "--sep",
               metadata.at("separator").get<std::string>()},
              InScratch(scratch, file, h5 ? "run.h5" : "loop.csv"),
              {},
              {}};
  for (const InputEntry& input : Inputs())
    rerun.args.insert(rerun.args.end(), {std::string("--") + input.option, inputs.at(input.column).get<std::string>()});
  rerun.args.insert(rerun.args.end(), {h5 ? "--h5" : "--loop-csv", rerun.copy.string()});
  rerun.written.push_back(rerun.copy);
  if (const Json model = metadata.value("model", Json()); model.is_object()) AddModelOptions(model, scratch, rerun);
  return rerun;
}

Rerun RerunOf(const Json& metadata, const std::string& file, const fs::path& scratch) {
  try {
    if (metadata.at("file") == "loop" || metadata.at("file") == "run") return RunRerun(metadata, file, scratch);
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

// A table an earlier version wrote, without the columns added since: where
// each of its columns stands in the rerun's header, and the names of the
// rerun's columns it has not. None when it has a column the rerun lacks,
// or no fewer.
struct ColumnPick {
  std::vector<std::size_t> at;
  std::string added;
};

std::optional<ColumnPick> PickColumns(const std::string& ours, const std::string& theirs) {
  const std::vector<std::string> a = ReadCsvFields(ours), b = ReadCsvFields(theirs);
  ColumnPick pick;
  for (const std::string& name : a) {
    const auto at = std::find(b.begin(), b.end(), name);
    if (at == b.end()) return std::nullopt;
    pick.at.push_back(static_cast<std::size_t>(at - b.begin()));
  }
  for (const std::string& name : b)
    if (std::find(a.begin(), a.end(), name) == a.end()) pick.added += (pick.added.empty() ? "" : ", ") + name;
  if (pick.added.empty()) return std::nullopt;
  return pick;
}

// The original's line is the rerun's, or, with a pick, its fields are the
// rerun's in the original's columns.
bool SameLine(const std::string& ours, const std::string& theirs, const std::optional<ColumnPick>& pick) {
  if (ours == theirs || !pick) return ours == theirs;
  const std::vector<std::string> a = ReadCsvFields(ours), b = ReadCsvFields(theirs);
  if (a.size() != pick->at.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (pick->at[k] >= b.size() || a[k] != b[pick->at[k]]) return false;
  return true;
}

// The lines after the metadata line, byte for byte, up to the end line.
// An original without an end line, or whose end line says it is not
// complete, is compared as far as it goes. A table of an earlier version
// whose header lacks columns the rerun has is compared in its columns.
Comparison Compare(const std::string& original, const fs::path& copy) {
  std::ifstream a(original, std::ios::binary), b(copy, std::ios::binary);
  std::string x, y;
  std::getline(a, x);
  std::getline(b, y);
  std::optional<ColumnPick> pick;
  for (std::uint64_t line = 2, rows = 0;; ++line, ++rows) {
    const bool more = static_cast<bool>(std::getline(a, x)), theirs = static_cast<bool>(std::getline(b, y));
    const std::optional<bool> end = more ? EndOf(x) : std::optional<bool>(false);
    const std::string lines = rows ? "header and " + std::to_string(rows - 1) + " rows" : "nothing";
    const std::string how = pick ? "in its columns, field for field (the rerun adds the columns " + pick->added + ")"
                                 : "byte for byte";
    if (end && !*end)
      return {true, "'" + original + "' is not complete (its sweep or run was stopped): its " + lines +
                        " are the rerun's first, " + how};
    const bool rerunEnded = !theirs || EndOf(y);
    if (end && rerunEnded) return {true, "identical: the " + lines + " of '" + original + "' are the rerun's, " + how};
    if (end) return {false, "the rerun has more lines than '" + original + "', which ends after line " +
                                std::to_string(line - 1) + ": '" + Shown(y) + "'"};
    if (rerunEnded)
      return {false,
              "line " + std::to_string(line) + " of '" + original + "' is past the rerun's end: '" + Shown(x) + "'"};
    if (rows == 0 && x != y) pick = PickColumns(x, y);
    if (!(rows == 0 && pick) && !SameLine(x, y, pick))
      return {false, "line " + std::to_string(line) + " differs: '" + original + "' has '" + Shown(x) +
                         "', the rerun '" + Shown(y) + "'"};
  }
}

// Every dataset of the two HDF5 files, value for value; those of an
// earlier version's file are the rerun's, which may add others.
Comparison CompareH5(const std::string& original, const fs::path& copy) {
  const H5Comparison comparison = CompareH5Files(original, copy.string());
  if (comparison.difference) return {false, "'" + original + "' and the rerun differ: " + *comparison.difference};
  std::string added;
  for (const std::string& name : comparison.added) added += (added.empty() ? "" : ", ") + name;
  return {true, "identical: every dataset of '" + original + "' is the rerun's, value for value" +
                    (added.empty() ? "" : " (the rerun adds the datasets " + added + ")")};
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
  Comparison comparison;
  try {
    comparison = IsH5Kind(metadata) ? CompareH5(file, rerun.copy) : Compare(file, rerun.copy);
  } catch (const std::runtime_error& bad) {
    err << "ebsim rerun: '" << file << "' " << bad.what() << "\n";
    return 1;
  }
  out << "ebsim rerun: " << comparison.verdict << " ('" << rerun.copy.string() << "')\n";
  return comparison.identical ? 0 : 1;
}

}  // namespace ebsim
