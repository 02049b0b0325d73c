#include "cli/render_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "base/utf8.h"
#include "cli/run_options.h"

namespace ebsim {

namespace {

// The render program beside this one.
std::string RenderProgram() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (error ? std::filesystem::path("ebsim-render") : self.parent_path() / "ebsim-render").string();
}

}  // namespace

int RenderCommand(std::span<const std::string> args, std::ostream& err) {
  CommonOptions options;
  try {
    options = ParseCommonOptions(RenderSpec(), args);
    if (!options.help && !options.values.count("png")) throw std::invalid_argument("--png FILE is required");
  } catch (const std::invalid_argument& bad) {
    err << "ebsim render: " << bad.what() << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << CommandHelp(RenderSpec());
    return 0;
  }
  const HeadlessFields fields = PrepareFields(options);
  const std::uint32_t seed = SeedOrClock(options);
  // Whoever wants the same picture again needs the seed.
  err << "ebsim render: seed-ms " << seed << (options.seedMs ? "\n" : " (from the clock)\n");
  std::vector<std::string> argv = {"ebsim-render", options.values.at("png"), std::to_string(seed),
                                   EncodeUtf8(options.separator.value_or(U'.'))};
  for (const InputEntry& input : Inputs()) argv.push_back(fields.Text(input.input));
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  const std::string program = RenderProgram();
  err.flush();
  execv(program.c_str(), pointers.data());
  err << "ebsim render: cannot start '" << program << "': " << std::strerror(errno) << "\n";
  return 1;
}

}  // namespace ebsim
