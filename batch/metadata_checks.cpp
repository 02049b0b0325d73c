#include "batch/metadata_checks.h"

#include <stdexcept>

namespace ebsim {

namespace {

constexpr std::uint64_t kMillisecondsPerDay = 86400000;

std::string KindName(std::string kind) {
  for (char& c : kind)
    if (c == '_') c = ' ';
  return kind;
}

// A count the metadata holds as a whole number of at least `least`.
std::uint64_t Count(const Json& sweep, const char* key, std::uint64_t least) {
  const auto found = sweep.find(key);
  if (found != sweep.end() && found->is_number_unsigned() && found->get<std::uint64_t>() >= least)
    return found->get<std::uint64_t>();
  throw std::invalid_argument(std::string("its \"") + key + "\" is " + (found == sweep.end() ? "missing" : found->dump()) +
                              ", not a whole number of at least " + std::to_string(least));
}

}  // namespace

Json ReadMetadataLine(const std::string& line, const std::string& path, const std::string& kind) {
  if (line.rfind("# {", 0) != 0)
    throw std::invalid_argument("'" + path + "' is not a " + KindName(kind) + " table of ebsim sweep (no metadata line)");
  Json metadata;
  try {
    metadata = Json::parse(line.substr(2));
  } catch (const Json::exception& bad) {
    std::string reason = bad.what();
    if (const auto bracket = reason.find("] "); bracket != std::string::npos) reason.erase(0, bracket + 2);
    throw std::invalid_argument("'" + path + "': its metadata line is not valid JSON (" + reason + ")");
  }
  if (!metadata.is_object() || !metadata.contains("file") || !metadata.at("file").is_string())
    throw std::invalid_argument("'" + path + "' is not a table of ebsim sweep (its metadata names no file kind)");
  const std::string file = metadata.at("file").get<std::string>();
  if (file != kind)
    throw std::invalid_argument("'" + path + "' is a " + KindName(file) + " table, not a " + KindName(kind) + " table");
  if (!metadata.contains("sweep") || !metadata.at("sweep").is_object())
    throw std::invalid_argument("'" + path + "': its metadata names no sweep");
  return metadata;
}

void CheckSweepCounts(const Json& sweep, const SweepGrid& grid) {
  const auto seed = sweep.find("seed_ms");
  if (seed == sweep.end() || !seed->is_number_unsigned() || seed->get<std::uint64_t>() >= kMillisecondsPerDay)
    throw std::invalid_argument("its \"seed_ms\" is " + (seed == sweep.end() ? "missing" : seed->dump()) +
                                ", not a time of day in milliseconds (0 to 86399999)");
  const std::uint64_t realizations = Count(sweep, "realizations", 1), points = Count(sweep, "points", 1);
  if (points != grid.PointCount())
    throw std::invalid_argument("its \"points\" is " + std::to_string(points) + ", but its grid has " +
                                std::to_string(grid.PointCount()));
  const std::uint64_t rows = Count(sweep, "rows", 1);
  if (realizations > UINT64_MAX / points || rows != points * realizations)
    throw std::invalid_argument("its \"rows\" is " + std::to_string(rows) + ", not points x realizations");
}

}  // namespace ebsim
