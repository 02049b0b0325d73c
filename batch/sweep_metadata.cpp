#include "base/json_text.h"
#include "batch/sweep_metadata.h"

#include <ctime>
#include <stdexcept>

#include "base/utf8.h"
#include "base/version.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

const InputEntry* InputOfColumn(const std::string& column) {
  for (const InputEntry& input : Inputs())
    if (column == input.column) return &input;
  return nullptr;
}

}  // namespace

Json SweepIdentity(const SweepPlan& plan) {
  Json grid = Json::object();
  for (const GridAxis& axis : plan.grid->Axes()) grid[InputOf(axis.input).column] = axis.texts;
  Json identity = Json{{"version", ProgramVersion()},
              {"grid", grid},
              {"separator", EncodeUtf8(plan.grid->Separator().CodePoint())},
              {"seed_ms", plan.seedMs},
              {"realizations", plan.realizations},
              {"points", plan.grid->PointCount()},
              {"rows", SweepRowCount(plan)}};
  if (plan.model.Extended()) identity["model"] = ModelIdentity(plan.model);
  if (plan.grid->Cycles() > 0) identity["cycles_per_realization"] = plan.grid->Cycles();
  return identity;
}

Json ModelIdentity(const ModelOptions& model) {
  if (!model.Extended()) return nullptr;
  std::vector<std::int64_t> steps(model.spinsAt.begin(), model.spinsAt.end());
  Json json = {{"dynamics", DynamicsName(model.dynamics)},
               {"boundary", BoundaryName(model.boundary)},
               {"cycles", model.cycles},
               {"spins_at", steps}};
  if (model.fields) json["fields"] = *model.fields;
  if (model.adiabatic) json["adiabatic"] = true;
  return json;
}

Json FileMetadata(const SweepPlan& plan, const std::string& file, const std::vector<std::string>& commandLine) {
  return Json{{"program", "ebsim"},
              {"file", file},
              {"sweep", SweepIdentity(plan)},
              {"shard", ShardText(plan.shard)},
              {"command", commandLine},
              {"start", UtcTimeText(std::chrono::system_clock::now())}};
}

std::string CommentLine(const Json& object) {
  return "# " + JsonText(object) + "\n";
}

std::string EndLine(std::uint64_t rows, bool complete) {
  return CommentLine(Json{{"end", UtcTimeText(std::chrono::system_clock::now())}, {"rows", rows}, {"complete", complete}});
}

std::optional<Json> ReadCommentLine(const std::string& line) {
  if (line.rfind("# {", 0) != 0) return std::nullopt;
  Json object = Json::parse(line.substr(2), nullptr, false);
  if (object.is_discarded() || !object.is_object()) return std::nullopt;
  return object;
}

std::string IdentityDifference(const Json& a, const Json& b) {
  for (const char* key : {"version", "grid", "separator", "seed_ms", "realizations", "points", "rows"})
    if (!a.contains(key) || !b.contains(key) || a.at(key) != b.at(key)) return key;
  // Only files made with options beyond the window's name them.
  if (a.value("model", Json()) != b.value("model", Json())) return "model";
  return "";
}

SweepGrid GridOfIdentity(const Json& identity) {
  const std::string separator = identity.at("separator").get<std::string>();
  const char32_t code = DecodeSingleUtf8(separator);
  if (code == kNotOneCharacter) throw std::invalid_argument("the metadata's separator is not one character");
  std::vector<GridAxis> axes;
  for (const auto& [column, texts] : identity.at("grid").items()) {
    const InputEntry* input = InputOfColumn(column);
    if (!input) throw std::invalid_argument("the metadata names an unknown input '" + column + "'");
    axes.push_back({input->column, input->input, texts.get<std::vector<std::string>>()});
  }
  SweepGrid grid(std::move(axes), DecimalSeparator(code));
  if (const auto cycles = identity.find("cycles_per_realization"); cycles != identity.end()) {
    if (!cycles->is_number_unsigned() || cycles->get<std::uint64_t>() < 1 ||
        cycles->get<std::uint64_t>() > static_cast<std::uint64_t>(INT32_MAX))
      throw std::invalid_argument("its \"cycles_per_realization\" is " + cycles->dump() +
                                  ", not a whole number of at least 1");
    grid.SetCycles(cycles->get<int>());
  }
  return grid;
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(ms % 1000));
  return std::string(text, length) + millis;
}

}  // namespace ebsim
