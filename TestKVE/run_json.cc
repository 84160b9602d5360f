#include "TestKVE/run_json.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "TestKVE/utf8_text.h"

namespace {

using json = nlohmann::ordered_json;

// nlohmann-json only takes well-formed UTF-8, and writes a NUL as \u0000. A byte that is not
// UTF-8 goes in as NUL and two hex digits, a real NUL as NUL and "--"; Dump turns both back
// into their escapes. Nothing else in a dumped text can read as \u0000 followed by a marker.
constexpr char kMarker = '\0';
constexpr std::string_view kRealNul = "--";
constexpr std::string_view kNulEscape = "\\u0000";

std::string Marked(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    char32_t code = 0;
    const size_t length = Utf8SequenceAt(bytes, pos, &code);
    if (length == 0 || code == 0) {
      const auto byte = static_cast<unsigned char>(bytes[pos]);
      text += kMarker;
      text += code == 0 && length == 1 ? std::string(kRealNul) : std::string{kHex[byte >> 4], kHex[byte & 0xF]};
      ++pos;
      continue;
    }
    text.append(bytes.substr(pos, length));
    pos += length;
  }
  return text;
}

std::string Dump(const json& value) {
  const std::string dumped = value.dump(-1, ' ', false, json::error_handler_t::strict);
  std::string line;
  line.reserve(dumped.size());
  for (size_t pos = 0; pos < dumped.size();) {
    if (dumped[pos] != '\\') {
      line += dumped[pos++];
      continue;
    }
    // An escape: its two characters go together, so an escaped backslash never starts one.
    if (dumped.compare(pos, kNulEscape.size(), kNulEscape) == 0 && pos + kNulEscape.size() + 2 <= dumped.size()) {
      const std::string marker = dumped.substr(pos + kNulEscape.size(), 2);
      line += marker == kRealNul ? std::string(kNulEscape) : "\\udc" + marker;
      pos += kNulEscape.size() + 2;
      continue;
    }
    line.append(dumped, pos, 2);
    pos += 2;
  }
  return line;
}

json Text(std::string_view bytes) { return Marked(bytes); }

// Milliseconds to the microsecond.
double Rounded(double ms) { return std::round(ms * 1000) / 1000; }

json SpreadJson(const std::optional<Spread>& spread, bool rounded) {
  if (!spread) return nullptr;
  auto value = [&](double x) { return rounded ? Rounded(x) : x; };
  return {{"min", value(spread->min)}, {"median", value(spread->median)}, {"max", value(spread->max)}};
}

json MomentsJson(const std::optional<Moments>& moments) {
  if (!moments) return nullptr;
  return {{"mean", Rounded(moments->mean)},
          {"standard_deviation", Rounded(moments->standard_deviation)},
          {"total", Rounded(moments->total)}};
}

void AddPercentiles(json& figures, const std::optional<Percentiles>& percentiles, bool rounded) {
  if (!percentiles || figures.is_null()) return;
  auto value = [&](double x) { return rounded ? Rounded(x) : x; };
  figures["p50"] = value(percentiles->p50);
  figures["p90"] = value(percentiles->p90);
  figures["p95"] = value(percentiles->p95);
  figures["p99"] = value(percentiles->p99);
}

}  // namespace

std::string JsonStringLiteral(std::string_view bytes) { return Dump(Text(bytes)); }

std::string RunJsonLine(const RunDescription& run) {
  json options = json::object();
  for (const auto& [name, value] : run.options) options[Marked(name)] = Text(value);
  json line = {
      {"record", "run"},
      {"harness", "TestKVE"},
      {"harness_version", Text(run.harness_version)},
      {"start", IsoTimeUtc(run.start_unix_ms)},
      {"command_line", Text(run.command_line)},
      {"options", options},
      {"engine",
       {{"path", Text(run.engine_path)},
        {"version", Text(run.engine_version)},
        {"build", Text(run.engine_build)},
        {"sha256", Text(run.engine_sha256)}}},
  };
  if (run.engine_b) {
    line["engine_b"] = {{"path", Text(run.engine_b->path)},
                        {"version", Text(run.engine_b->version)},
                        {"build", Text(run.engine_b->build)},
                        {"sha256", Text(run.engine_b->sha256)}};
  }
  return Dump(line);
}

std::string PassJsonLine(const PassRecord& pass) {
  json names = json::array();
  for (const std::string& name : pass.pattern_names) names.push_back(Text(name));
  json seeds = json::array();
  for (uint32_t seed : pass.random_seeds) seeds.push_back(seed);
  json line = {
      {"record", "pass"},
      {"pass", pass.number},
      {"warm_up", pass.warm_up},
      {"start", IsoTimeUtc(pass.start_unix_ms)},
      {"patterns", names},
      {"result", static_cast<int32_t>(pass.result)},
      {"result_name", Text(pass.result_name)},
      {"timed_out", pass.timed_out},
      {"wall_ms", Rounded(pass.wall_ms)},
      {"user_ms", Rounded(pass.user_ms)},
      {"system_ms", Rounded(pass.system_ms)},
      {"peak_kib", pass.peak_kib},
      {"contained", pass.contained},
  };
  if (!seeds.empty()) line["random_seeds"] = seeds;
  if (!pass.side.empty()) {
    line["side"] = pass.side;
    line["pair"] = pass.pair;
  }
  if (!pass.ran()) {
    line["result"] = nullptr;
    line["contained"] = nullptr;
    line["not_run"] = Text(pass.not_run);
  }
  // Inline, byte for byte (as every text here): the record stays one file that a killed run
  // keeps whole, and the counts tell how much came before the kept end.
  if (pass.output) {
    line["stdout"] = Text(pass.output->output);
    line["stdout_bytes"] = pass.output->output_bytes;
    line["stderr"] = Text(pass.output->error);
    line["stderr_bytes"] = pass.output->error_bytes;
  }
  return Dump(line);
}

std::string SummaryJsonLine(const RunSummary& summary) {
  json results = json::object();
  for (const auto& [name, count] : summary.results) results[Marked(name)] = count;
  json growth = nullptr;
  if (summary.peak_growth_percent) growth = Rounded(*summary.peak_growth_percent);
  json line = {
      {"record", "summary"},
      {"passes", summary.passes},
      {"warm_up_passes", summary.warm_ups},
      {"failed", summary.failed},
      {"timed_out", summary.timed_out},
      {"results", results},
      {"wall_ms", SpreadJson(summary.wall_ms, true)},
      {"peak_kib", SpreadJson(summary.peak_kib, false)},
      {"peak_growth_percent", growth},
      {"user_ms", MomentsJson(summary.user_ms)},
      {"system_ms", MomentsJson(summary.system_ms)},
      {"interrupted", summary.interrupted},
  };
  if (summary.wall_moments_ms) {
    line["wall_ms"]["mean"] = Rounded(summary.wall_moments_ms->mean);
    line["wall_ms"]["standard_deviation"] = Rounded(summary.wall_moments_ms->standard_deviation);
  }
  AddPercentiles(line["wall_ms"], summary.wall_percentiles_ms, true);
  AddPercentiles(line["user_ms"], summary.user_percentiles_ms, true);
  AddPercentiles(line["system_ms"], summary.system_percentiles_ms, true);
  AddPercentiles(line["peak_kib"], summary.peak_percentiles_kib, true);
  line["wall_ms_outlier_passes"] = summary.wall_outliers;
  if (summary.first_random_seed) line["random_seed"] = *summary.first_random_seed;
  return Dump(line);
}
