#include "batch/sweep_merge.h"

#include <memory>
#include <ostream>
#include <stdexcept>

#include "batch/runs_file_reader.h"
#include "batch/sweep_output.h"

namespace ebsim {

namespace {

using Readers = std::vector<std::unique_ptr<RunsFileReader>>;

Readers OpenAll(const std::vector<std::string>& paths) {
  if (paths.empty()) throw std::runtime_error("no runs table to merge");
  Readers readers;
  for (const std::string& path : paths) {
    readers.push_back(std::make_unique<RunsFileReader>(path));
    const Json& first = readers.front()->Metadata().at("sweep");
    const std::string differs = IdentityDifference(first, readers.back()->Metadata().at("sweep"));
    if (!differs.empty())
      throw std::runtime_error("'" + path + "' belongs to another sweep than '" + paths.front() + "' (its " + differs +
                               " differs)");
  }
  return readers;
}

Json MergedMetadata(const RunsFileReader& first, const std::vector<std::string>& paths,
                    const std::vector<std::string>& commandLine) {
  Json metadata = first.Metadata();
  metadata["shard"] = "0/1";
  metadata["merged_from"] = paths;
  metadata["command"] = commandLine;
  metadata["start"] = UtcTimeText(std::chrono::system_clock::now());
  return metadata;
}

}  // namespace

MergeOutcome MergeRuns(const std::vector<std::string>& paths, std::ostream& runs, std::ostream* summary,
                       const std::vector<std::string>& commandLine) {
  Readers readers = OpenAll(paths);
  const RunsFileReader& first = *readers.front();
  MergeOutcome outcome;
  outcome.realizations = first.Realizations();
  outcome.total = first.Metadata().at("sweep").at("rows").get<std::uint64_t>();
  runs << CommentLine(MergedMetadata(first, paths, commandLine)) << first.Header() << '\n';
  std::optional<SweepSummary> statistics;
  if (summary) {
    Json metadata = MergedMetadata(first, paths, commandLine);
    metadata["file"] = "summary";
    *summary << CommentLine(metadata);
    statistics.emplace(first.Grid(), *summary);
  }
  std::vector<std::optional<RunsFileReader::Row>> heads;
  for (auto& reader : readers) heads.push_back(reader->Next());
  std::uint64_t next = 0;
  for (;;) {
    std::size_t lowest = heads.size();
    for (std::size_t k = 0; k < heads.size(); ++k) {
      if (!heads[k]) continue;
      if (lowest < heads.size() && heads[k]->row.index == heads[lowest]->row.index)
        throw std::runtime_error("'" + readers[k]->Path() + "' and '" + readers[lowest]->Path() +
                                 "' both hold point " + std::to_string(heads[k]->row.point) + " realisation " +
                                 std::to_string(heads[k]->row.realization) + ": shards overlap");
      if (lowest == heads.size() || heads[k]->row.index < heads[lowest]->row.index) lowest = k;
    }
    if (lowest == heads.size()) break;
    RunsFileReader::Row row = std::move(*heads[lowest]);
    if (row.row.index < next) throw std::runtime_error("'" + readers[lowest]->Path() + "' holds its rows out of order");
    if (row.row.index > next && !outcome.firstMissing) outcome.firstMissing = next;
    outcome.missing += row.row.index - next;
    next = row.row.index + 1;
    runs << row.line << '\n';
    if (statistics) statistics->Add(row.row);
    ++outcome.rows;
    heads[lowest] = readers[lowest]->Next();
  }
  for (const auto& reader : readers)
    if (reader->CutRow())
      throw std::runtime_error("'" + reader->Path() + "' ends in a row cut short (line " +
                               std::to_string(reader->CutRow()) + "): its writer was stopped mid-line");
  if (next < outcome.total && !outcome.firstMissing) outcome.firstMissing = next;
  outcome.missing += outcome.total - next;
  if (statistics) {
    statistics->Finish();
    *summary << EndLine(statistics->LinesWritten(), outcome.missing == 0);
  }
  runs << EndLine(outcome.rows, outcome.missing == 0);
  return outcome;
}

}  // namespace ebsim
