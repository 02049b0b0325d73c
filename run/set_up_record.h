#pragma once
// What the latest set-up runs read, so that a headless run can repeat what
// the window showed: the clock's reading and the texts at "Run LEE
// Constants", the texts at the latest "Run QRF Fields" and the latest "Run"
// after it, and how often the random fields were drawn in between (each
// draw moves the generator on).

#include <cstdint>
#include <optional>
#include <string>

#include "form/headless_form.h"

namespace ebsim {

struct SetUpRecord {
  std::uint32_t seedMs = 0;
  HeadlessFields exchangeTexts;
  std::optional<HeadlessFields> randomFieldTexts;
  std::optional<HeadlessFields> runTexts;
  int randomFieldRuns = 0;
};

// A copy of every input's text and the separator.
HeadlessFields CopyTexts(const FieldTexts& fields);

// Why `ebsim run --seed-ms` cannot repeat the record; none when it can:
// one draw of the random fields, and the same texts at all three buttons.
std::optional<std::string> NotRepeatable(const SetUpRecord& record);

// The `ebsim run` command that repeats the record (texts shell-quoted).
std::string RepeatCommand(const SetUpRecord& record);

// "# {json}\n": the version, the seed, the separator, the texts at each
// button (by input name), and the command that repeats them or why none does.
std::string SetUpCommentLine(const SetUpRecord& record);

// Where a window's loop came from: the record of the set-up behind it or,
// when none stands behind it, why, and the texts its Run read (none before
// a Run).
struct LoopOrigin {
  std::optional<SetUpRecord> setUp;
  std::string noSetUp = "no Run";
  std::optional<HeadlessFields> runTexts;
};

// Why no record stands behind a Run's loop.
inline constexpr const char* kNoExchangeSetUp = "no exchange set-up";
inline constexpr const char* kExchangeSetUpFailed = "the exchange set-up failed";

// The loop file's first line, always there: SetUpCommentLine of the record,
// or without one the same entries, null but the version, the separator (the
// Run's, else the one given) and the Run's texts, with `repeat` null and
// `not_repeatable` saying why.
std::string LoopCommentLine(const LoopOrigin& origin, const DecimalSeparator& separator);

}  // namespace ebsim
