#include "base/json_text.h"
#include "run/set_up_record.h"

#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "base/version.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

using Json = nlohmann::ordered_json;

bool SameTexts(const FieldTexts& a, const FieldTexts& b) {
  if (a.Separator().CodePoint() != b.Separator().CodePoint()) return false;
  for (const InputEntry& input : Inputs())
    if (a.Text(input.input) != b.Text(input.input)) return false;
  return true;
}

Json TextsJson(const FieldTexts& fields) {
  Json texts = Json::object();
  for (const InputEntry& input : Inputs()) texts[input.column] = ValidUtf8(fields.Text(input.input));
  return texts;
}

// The text as one shell word.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string CommentLine(const Json& json) {
  return "# " + JsonText(json) + "\n";
}

}  // namespace

HeadlessFields CopyTexts(const FieldTexts& fields) {
  HeadlessFields copy(fields.Separator());
  for (const InputEntry& input : Inputs()) copy.Set(input.input, fields.Text(input.input));
  return copy;
}

std::optional<std::string> NotRepeatable(const SetUpRecord& record) {
  if (!record.randomFieldTexts) return "the random fields were not drawn after the exchange constants";
  if (record.randomFieldRuns != 1)
    return "the random fields were drawn " + std::to_string(record.randomFieldRuns) + " times";
  if (!record.runTexts) return "no Run after the set-up";
  if (!SameTexts(record.exchangeTexts, *record.randomFieldTexts) || !SameTexts(record.exchangeTexts, *record.runTexts))
    return "the inputs changed between the buttons";
  return std::nullopt;
}

std::string RepeatCommand(const SetUpRecord& record) {
  std::string command = "ebsim run --seed-ms " + std::to_string(record.seedMs);
  for (const InputEntry& input : Inputs())
    command += std::string(" --") + input.option + " " + Quoted(record.exchangeTexts.Text(input.input));
  const char32_t separator = record.exchangeTexts.Separator().CodePoint();
  if (separator != U'.') command += " --sep " + Quoted(EncodeUtf8(separator));
  return command;
}

std::string SetUpCommentLine(const SetUpRecord& record) {
  Json json{{"program", "window"},
            {"file", "loop"},
            {"version", ProgramVersion()},
            {"seed_ms", record.seedMs},
            {"separator", EncodeUtf8(record.exchangeTexts.Separator().CodePoint())},
            {"exchange_inputs", TextsJson(record.exchangeTexts)},
            {"random_field_inputs", record.randomFieldTexts ? TextsJson(*record.randomFieldTexts) : Json()},
            {"run_inputs", record.runTexts ? TextsJson(*record.runTexts) : Json()},
            {"random_field_draws", record.randomFieldRuns}};
  if (const auto why = NotRepeatable(record)) {
    json["repeat"] = nullptr;
    json["not_repeatable"] = *why;
  } else {
    json["repeat"] = RepeatCommand(record);
  }
  return CommentLine(json);
}

std::string LoopCommentLine(const LoopOrigin& origin, const DecimalSeparator& separator) {
  if (origin.setUp) return SetUpCommentLine(*origin.setUp);
  const DecimalSeparator used = origin.runTexts ? origin.runTexts->Separator() : separator;
  return CommentLine(Json{{"program", "window"},
                          {"file", "loop"},
                          {"version", ProgramVersion()},
                          {"seed_ms", nullptr},
                          {"separator", EncodeUtf8(used.CodePoint())},
                          {"exchange_inputs", nullptr},
                          {"random_field_inputs", nullptr},
                          {"run_inputs", origin.runTexts ? TextsJson(*origin.runTexts) : Json()},
                          {"random_field_draws", nullptr},
                          {"repeat", nullptr},
                          {"not_repeatable", origin.noSetUp}});
}

}  // namespace ebsim
