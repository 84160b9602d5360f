#include "run_compare/run_record_file.h"

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <string_view>

#include "platform/whole_file.h"

namespace compare {
namespace {

using json = nlohmann::json;

constexpr std::string_view kNumberFields[] = {"wall_ms", "user_ms", "system_ms", "peak_kib", "result"};

// A pass line's figures and side; an empty string when the line holds them all, else what is
// wrong.
std::string CheckPass(const json& line) {
  for (std::string_view field : kNumberFields) {
    const auto found = line.find(field);
    if (found == line.end()) return "pass record without \"" + std::string(field) + "\" (written by an older harness?)";
    if (!found->is_number() || !std::isfinite(found->get<double>()) || (field != "result" && found->get<double>() < 0))
      return "\"" + std::string(field) + "\" is not a figure";
  }
  if (!line.contains("result_name") || !line["result_name"].is_string())
    return "pass record without \"result_name\" (written by an older harness?)";
  if (line.contains("timed_out") && !line["timed_out"].is_boolean()) return "\"timed_out\" is not true or false";
  if (!line.contains("side")) return "";
  if (!line["side"].is_string() || (line["side"] != "A" && line["side"] != "B"))
    return "\"side\" is not \"A\" or \"B\"";
  if (!line.contains("pair") || !line["pair"].is_number_unsigned()) return "an /AB pass record without its \"pair\"";
  return "";
}

void AddPass(const json& line, SideRuns* side) {
  const bool timed_out = line.value("timed_out", false);
  side->Add(line["wall_ms"].get<double>(), line["user_ms"].get<double>(), line["system_ms"].get<double>(),
            line["peak_kib"].get<double>(), line["result_name"].get<std::string>(),
            line["result"].get<double>() != 0 || timed_out);
}

// One pair's passes of an /AB record, by side.
struct Pair {
  std::optional<json> a, b;
};

class Reader {
 public:
  explicit Reader(std::string path) : path_(std::move(path)) {}

  // Reads line `number`; false with `*error` set when it is not a record of the harness.
  bool ReadLine(std::string_view text, size_t number, std::string* error) {
    const std::string at = path_ + ":" + std::to_string(number) + ": ";
    const json line = json::parse(text, nullptr, false);
    if (line.is_discarded() || !line.is_object() || !line.contains("record") || !line["record"].is_string()) {
      *error = at + "not a record of the harness (a damaged line?)";
      return false;
    }
    const std::string kind = line["record"].get<std::string>();
    if (number == 1) return ReadRunLine(line, kind, at, error);
    if (kind == "summary") return true;
    if (kind != "pass") {
      *error = at + (kind == "run" ? "a second run record" : "unknown record \"" + kind + "\"");
      return false;
    }
    if (const std::string wrong = CheckPass(line); !wrong.empty()) {
      *error = at + wrong;
      return false;
    }
    return KeepPass(line, at, error);
  }

  RecordedRuns Finish() {
    if (!runs_.ab) return std::move(runs_);
    for (auto& [number, pair] : pairs_) {
      if (!pair.a || !pair.b) continue;  // cut short by a stop
      AddPass(*pair.a, &runs_.a);
      AddPass(*pair.b, &runs_.b);
    }
    return std::move(runs_);
  }

 private:
  bool ReadRunLine(const json& line, const std::string& kind, const std::string& at, std::string* error) {
    if (kind != "run" || line.value("harness", "") != "TestKVE") {
      *error = at + "the first line is not the run record of a TestKVE /JSON record";
      return false;
    }
    const json engine = line.value("engine", json::object());
    runs_.a.label = engine.is_object() ? engine.value("path", "") : "";
    runs_.ab = line.contains("engine_b");
    if (runs_.ab) {
      runs_.b.label = line["engine_b"].is_object() ? line["engine_b"].value("path", "") : "";
    }
    return true;
  }

  bool KeepPass(const json& line, const std::string& at, std::string* error) {
    if (line.contains("side") != runs_.ab) {
      *error =
          at + (runs_.ab ? "a pass without its side in an /AB record" : "a pass with a side in a record without /AB");
      return false;
    }
    if (!runs_.ab) {
      AddPass(line, &runs_.a);
      return true;
    }
    Pair& pair = pairs_[line["pair"].get<uint64_t>()];
    std::optional<json>& slot = line["side"] == "A" ? pair.a : pair.b;
    if (slot) {
      *error = at + "pair " + std::to_string(line["pair"].get<uint64_t>()) + " has side " +
               line["side"].get<std::string>() + " twice";
      return false;
    }
    slot = line;
    return true;
  }

  std::string path_;
  RecordedRuns runs_;
  std::map<uint64_t, Pair> pairs_;
};

}  // namespace

std::optional<RecordedRuns> ReadRunRecord(const std::string& path, std::string* error) {
  const platform::Result<std::string> read = ReadWholeFile(path);
  if (!read) {
    *error = "cannot read " + path + ": " + read.error().text;
    return std::nullopt;
  }
  const std::string& bytes = *read;
  if (bytes.empty()) {
    *error = path + ": empty, not a /JSON record";
    return std::nullopt;
  }
  Reader reader(path);
  std::string_view rest = bytes;
  for (size_t number = 1; !rest.empty(); ++number) {
    const size_t end = rest.find('\n');
    if (!reader.ReadLine(rest.substr(0, end), number, error)) return std::nullopt;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return reader.Finish();
}

}  // namespace compare
