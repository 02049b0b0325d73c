#include "cli/study_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "base/round_trip_text.h"
#include "form/catalogue.h"

namespace ebsim {

namespace {

enum class Kind { kInput, kCount, kSeparator, kPath, kFlag, kText, kSteps };

struct Key {
  std::string name;    // in the file
  std::string option;  // of ebsim sweep
  Kind kind;
  const InputEntry* input = nullptr;
};

// The inputs by their column names and, where it differs, their option
// ("sd"); then the counts and the separator.
const std::vector<Key>& TopLevel() {
  static const std::vector<Key> keys = [] {
    std::vector<Key> made;
    for (const InputEntry& input : Inputs()) {
      made.push_back({input.column, input.option, Kind::kInput, &input});
      if (std::strcmp(input.column, input.option) != 0)
        made.push_back({input.option, input.option, Kind::kInput, &input});
    }
    made.push_back({"separator", "sep", Kind::kSeparator});
    made.push_back({"realizations", "realizations", Kind::kCount});
    made.push_back({"seed_ms", "seed-ms", Kind::kCount});
    made.push_back({"threads", "threads", Kind::kCount});
    made.push_back({"dynamics", "dynamics", Kind::kText});
    made.push_back({"boundary", "boundary", Kind::kText});
    made.push_back({"cycles", "cycles", Kind::kCount});
    made.push_back({"fields", "fields", Kind::kPath});
    made.push_back({"spins_at", "spins-at", Kind::kSteps});
    return made;
  }();
  return keys;
}

const std::vector<Key>& Outputs() {
  static const std::vector<Key> keys = {{"out", "out", Kind::kPath},
                                        {"summary", "summary", Kind::kPath},
                                        {"loops", "loops", Kind::kPath},
                                        {"loop_mean", "loop-mean", Kind::kPath},
                                        {"spins", "spins", Kind::kPath},
                                        {"h5", "h5", Kind::kPath},
                                        {"h5_loops", "h5-loops", Kind::kFlag},
                                        {"h5_loop_mean", "h5-loop-mean", Kind::kFlag},
                                        {"h5_spins", "h5-spins", Kind::kFlag}};
  return keys;
}

const Key* Find(const std::vector<Key>& keys, std::string_view name) {
  const auto at = std::find_if(keys.begin(), keys.end(), [&](const Key& key) { return key.name == name; });
  return at == keys.end() ? nullptr : &*at;
}

std::string Names(const std::vector<Key>& keys) {
  std::string names;
  for (const Key& key : keys) names += (names.empty() ? "" : ", ") + key.name;
  return names;
}

// "a text", "an array", ... for the messages.
std::string TypeOf(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string: return "a text";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a float";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::array: return "an array";
    case toml::node_type::table: return "a table";
    default: return "a date or time";
  }
}

class Reader {
 public:
  Reader(std::string path, std::string separator) : path_(std::move(path)), separator_(std::move(separator)) {}

  [[noreturn]] void Refuse(const toml::source_region& where, const std::string& what) const {
    throw std::invalid_argument(path_ + ":" + std::to_string(where.begin.line) + ": " + what);
  }

  // One item of an input: a text as it is, an integer in decimal, a float
  // (real inputs only) as the text that the window reads back as it.
  std::string Item(const toml::node& node, const Key& key) const {
    if (const auto* text = node.as_string()) return text->get();
    if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
    if (const auto* real = node.as_floating_point(); real && !key.input->integer) {
      std::string text = RoundTripText(real->get());
      if (const auto point = text.find('.'); point != std::string::npos) text.replace(point, 1, separator_);
      return text;
    }
    Refuse(node.source(), key.name + " takes " +
                              (key.input->integer ? "an integer, a text" : "a number, a text") +
                              " or an array of them, not " + TypeOf(node));
  }

  std::string Value(const toml::node& node, const Key& key) const {
    switch (key.kind) {
      case Kind::kInput:
        if (const auto* items = node.as_array()) {
          if (items->empty()) Refuse(node.source(), key.name + " is given no values");
          std::string list;
          for (const toml::node& item : *items) list += (list.empty() ? "" : ";") + Item(item, key);
          return list;
        }
        return Item(node, key);
      case Kind::kCount:
        if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
        Refuse(node.source(), key.name + " takes a whole number, not " + TypeOf(node));
      case Kind::kSteps:
        if (const auto* items = node.as_array()) {
          std::string list;
          for (const toml::node& item : *items) {
            const auto* step = item.as_integer();
            if (!step) Refuse(item.source(), key.name + " takes whole numbers, not " + TypeOf(item));
            list += (list.empty() ? "" : ";") + std::to_string(step->get());
          }
          return list;
        }
        if (const auto* integer = node.as_integer()) return std::to_string(integer->get());
        if (const auto* text = node.as_string()) return text->get();
        Refuse(node.source(), key.name + " takes a whole number, a text or an array of whole numbers, not " +
                                  TypeOf(node));
      case Kind::kSeparator:
      case Kind::kText:
      case Kind::kPath:
        if (const auto* text = node.as_string()) return text->get();
        Refuse(node.source(), key.name + " takes a text, not " + TypeOf(node));
      case Kind::kFlag:
        if (const auto* flag = node.as_boolean()) return flag->get() ? "true" : "";
        Refuse(node.source(), key.name + " takes true or false, not " + TypeOf(node));
    }
    Refuse(node.source(), key.name + ": unexpected value");
  }

 private:
  std::string path_, separator_;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) throw std::runtime_error("cannot read '" + path + "': " + std::strerror(errno ? errno : EIO));
  return text.str();
}

toml::table Parse(const std::string& text, const std::string& path) {
  try {
    return toml::parse(text, path);
  } catch (const toml::parse_error& bad) {
    throw std::invalid_argument(path + ":" + std::to_string(bad.source().begin.line) + ": " +
                                std::string(bad.description()));
  }
}

// Every key the file holds that is not one of these, with its line.
void RefuseUnknownKeys(const toml::table& top, const std::string& path) {
  std::string unknown;
  std::size_t count = 0;
  auto add = [&](const std::string& name, const toml::source_region& where) {
    unknown += (count++ ? ", '" : "'") + name + "' (line " + std::to_string(where.begin.line) + ")";
  };
  for (const auto& [key, node] : top) {
    if (key.str() == "outputs") {
      if (const toml::table* outputs = node.as_table())
        for (const auto& [inner, value] : *outputs)
          if (!Find(Outputs(), inner.str())) add("outputs." + std::string(inner.str()), inner.source());
    } else if (!Find(TopLevel(), key.str())) {
      add(std::string(key.str()), key.source());
    }
  }
  if (!count) return;
  throw std::invalid_argument(path + ": unknown key" + (count > 1 ? "s " : " ") + unknown +
                              "; a study file takes " + Names(TopLevel()) + ", and in [outputs] " + Names(Outputs()));
}

}  // namespace

std::vector<std::string> StudyKeys() {
  std::vector<std::string> names;
  for (const Key& key : TopLevel()) names.push_back(key.name);
  return names;
}

std::vector<std::string> StudyOutputKeys() {
  std::vector<std::string> names;
  for (const Key& key : Outputs()) names.push_back(key.name);
  return names;
}

StudyFile ReadStudyFile(const std::string& path) {
  StudyFile study{path, ReadText(path), {}};
  const toml::table top = Parse(study.text, path);
  RefuseUnknownKeys(top, path);
  const toml::node* separator = top.get("separator");
  const std::string decimal = separator && separator->is_string() ? separator->as_string()->get() : ".";
  const Reader reader(path, decimal);
  std::map<const InputEntry*, std::string> named;  // each input by the key that gave it
  for (const Key& key : TopLevel()) {
    const toml::node* node = top.get(key.name);
    if (!node) continue;
    if (key.input && !named.emplace(key.input, key.name).second)
      reader.Refuse(node->source(), std::string(key.input->column) + " is given twice (as '" + named[key.input] +
                                        "' and '" + key.name + "')");
    study.sweep.insert(study.sweep.end(), {"--" + key.option, reader.Value(*node, key)});
  }
  if (const toml::node* outputs = top.get("outputs")) {
    if (!outputs->is_table())
      reader.Refuse(outputs->source(), "outputs is a table: [outputs] with out = \"FILE\", ...");
    for (const Key& key : Outputs()) {
      const toml::node* node = outputs->as_table()->get(key.name);
      if (!node) continue;
      const std::string value = reader.Value(*node, key);
      if (key.kind != Kind::kFlag)
        study.sweep.insert(study.sweep.end(), {"--" + key.option, value});
      else if (!value.empty())
        study.sweep.push_back("--" + key.option);  // false: as if not given
    }
  }
  return study;
}

}  // namespace ebsim
