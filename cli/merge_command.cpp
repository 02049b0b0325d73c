#include "cli/merge_command.h"

#include <memory>
#include <ostream>
#include <stdexcept>

#include "base/output_file.h"
#include "batch/sweep_merge.h"
#include "cli/removed_temporaries.h"
#include "cli/run_options.h"

namespace ebsim {

int MergeCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  CommonOptions options;
  try {
    options = ParseCommonOptions(MergeSpec(), args);
    if (!options.help && options.positionals.empty()) throw std::invalid_argument("no runs table to merge");
    const auto runs = options.values.find("out"), summary = options.values.find("summary");
    CheckOutputPaths({{"--out", runs == options.values.end() ? "-" : runs->second},
                      {"--summary", summary == options.values.end() ? "" : summary->second}},
                     options.positionals);
  } catch (const std::invalid_argument& bad) {
    err << "ebsim merge: " << bad.what() << "\n";
    return 2;
  }
  if (options.help) {
    out << CommandHelp(MergeSpec());
    return 0;
  }
  const std::string runsPath = options.values.count("out") ? options.values.at("out") : "-";
  const std::string summaryPath = options.values.count("summary") ? options.values.at("summary") : "";
  try {
    std::unique_ptr<OutputFile> runsFile, summaryFile;
    if (runsPath != "-") runsFile = std::make_unique<OutputFile>(runsPath);
    if (!summaryPath.empty() && summaryPath != "-") summaryFile = std::make_unique<OutputFile>(summaryPath);
    std::ostream& runs = runsFile ? runsFile->Stream() : out;
    std::ostream* summary = summaryPath.empty() ? nullptr : summaryFile ? &summaryFile->Stream() : &out;
    const MergeOutcome merged = MergeRuns(options.positionals, runs, summary, options.commandLine);
    if (summaryFile) summaryFile->Commit();
    if (runsFile) runsFile->Commit();
    for (const auto* file : {summaryFile.get(), runsFile.get()})
      if (file) SayRemoved(file->RemoveStaleTemporaries(), "ebsim merge", err);
    if (!out.flush()) throw OutputError("cannot write standard output");
    err << "ebsim merge: " << merged.rows << " of " << merged.total << " rows\n";
    if (merged.missing) {
      const std::uint64_t first = *merged.firstMissing;
      err << "ebsim merge: " << merged.missing << " rows missing, the first: point " << first / merged.realizations
          << " realization " << first % merged.realizations << "\n";
      return 1;
    }
    return 0;
  } catch (const std::runtime_error& bad) {
    err << "ebsim merge: " << bad.what() << "\n";
    return 1;
  }
}

}  // namespace ebsim
