#include "cli/study_command.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <streambuf>

#include "base/utf8.h"
#include "batch/sweep_metadata.h"
#include "cli/command_options.h"
#include "cli/study_file.h"
#include "cli/sweep_command.h"

namespace ebsim {

namespace {

// The sweep's arguments with the command line's --threads over the file's.
std::vector<std::string> WithOptions(std::vector<std::string> sweep, const ParsedArgs& parsed) {
  if (const auto threads = parsed.values.find("threads"); threads != parsed.values.end()) {
    const auto given = std::find(sweep.begin(), sweep.end(), "--threads");
    if (given != sweep.end()) sweep.erase(given, given + 2);
    sweep.insert(sweep.end(), {"--threads", threads->second});
  }
  if (std::find(parsed.flags.begin(), parsed.flags.end(), "resume") != parsed.flags.end()) sweep.push_back("--resume");
  return sweep;
}

// Passes the sweep's messages on as the study's: "ebsim sweep: " at the
// start of a line becomes "ebsim study: ".
class StudyMessages final : public std::streambuf {
 public:
  explicit StudyMessages(std::ostream& err) : err_(err) {}
  ~StudyMessages() override { sync(); }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return 0;
    line_ += static_cast<char>(c);
    return c == '\n' ? (sync() == 0 ? c : traits_type::eof()) : c;
  }
  int sync() override {
    static const std::string from = "ebsim sweep: ";
    if (line_.rfind(from, 0) == 0) line_.replace(0, from.size(), "ebsim study: ");
    err_ << line_ << std::flush;
    line_.clear();
    return err_ ? 0 : -1;
  }

 private:
  std::ostream& err_;
  std::string line_;
};

}  // namespace

int StudyCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop) {
  ParsedArgs parsed;
  StudyFile study;
  try {
    parsed = ParseArgs(StudySpec(), args);
    if (parsed.help) {
      out << CommandHelp(StudySpec());
      return 0;
    }
    if (parsed.positionals.size() != 1) throw std::invalid_argument("give one study file (TOML)");
    study = ReadStudyFile(parsed.positionals[0]);
  } catch (const std::invalid_argument& bad) {
    err << "ebsim study: " << bad.what() << "\n";
    return 2;
  } catch (const std::runtime_error& bad) {
    err << "ebsim study: " << bad.what() << "\n";
    return 1;
  }
  const Json origin = {{"study", {{"file", ValidUtf8(study.path)}, {"text", ValidUtf8(study.text)}}}};
  StudyMessages renamed(err);
  std::ostream messages(&renamed);
  return SweepCommand(WithOptions(study.sweep, parsed), out, messages, stop, origin);
}

}  // namespace ebsim
