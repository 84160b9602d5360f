#include "TestKVE/run_report.h"

#include <cstdio>

#include "TestKVE/percentiles.h"
#include "TestKVE/run_statistics.h"
#include "TestKVE/run_summary.h"

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

const char* SignalName(int signal) {
  switch (signal) {
    case 1:
      return "SIGHUP";
    case 2:
      return "SIGINT";
    case 15:
      return "SIGTERM";
    default:
      return nullptr;
  }
}

std::string SignalText(int signal) {
  const char* name = SignalName(signal);
  return name != nullptr ? name : "signal " + std::to_string(signal);
}

std::string ExitStatusText(const RunReport& report) {
  std::string text = std::to_string(report.exit_status);
  if (report.stop_signal != 0) text += " (stopped by " + SignalText(report.stop_signal) + ")";
  return text;
}

std::string Engine(const RunDescription& run) {
  std::string text = run.engine_path;
  if (!run.engine_version.empty()) text += ", version " + run.engine_version;
  if (!run.engine_build.empty()) text += ", build " + run.engine_build;
  return text;
}

std::vector<std::string> FigureRow(const char* name, const char* unit, const std::vector<double>& values,
                                   int decimals) {
  const std::optional<Statistics> s = StatisticsOf(values);
  const std::optional<Percentiles> p = PercentilesOf(values);
  if (!s || !p) return {name, "", "", "", "", "", ""};
  return {std::string(name) + " (" + unit + ")",
          Fixed(s->min, decimals),
          Fixed(p->p50, decimals),
          Fixed(p->p90, decimals),
          Fixed(p->p95, decimals),
          Fixed(p->p99, decimals),
          Fixed(s->mean, decimals) + " \xC2\xB1 " + Fixed(s->standard_deviation, decimals),
          Fixed(s->max, decimals)};
}

// One figure of each pass whose engine ran, in pass order.
template <typename Figure>
std::vector<double> Figures(std::span<const PassRecord> passes, Figure PassRecord::*field) {
  std::vector<double> values;
  for (const PassRecord& pass : passes) {
    if (pass.ran()) values.push_back(static_cast<double>(pass.*field));
  }
  return values;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> RunFacts(const RunReport& report) {
  const RunDescription& run = report.run;
  std::vector<std::pair<std::string, std::string>> facts = {
      {"Command line", run.command_line},
      {"Engine", Engine(run)},
      {"Engine SHA-256", run.engine_sha256.empty() ? "unknown" : run.engine_sha256},
      {"Host", run.host_name},
      {"Started", IsoTimeUtc(run.start_unix_ms)},
      {"Ended", IsoTimeUtc(report.end_unix_ms)},
  };
  // The seed that replays the run: the first one any pass drew, as /SUMMARY names it.
  if (const std::optional<uint32_t> seed = Summarize(report.passes).first_random_seed)
    facts.emplace_back("Seed", std::to_string(*seed));
  facts.emplace_back("Exit status", ExitStatusText(report));
  facts.emplace_back("Harness", "TestKVE " + run.harness_version);
  return facts;
}

size_t FailureCount(std::span<const PassRecord> passes) {
  size_t failures = 0;
  for (const PassRecord& pass : passes) failures += pass.failed() ? 1 : 0;
  return failures;
}

std::string Headline(const RunReport& report) {
  const size_t passes = report.passes.size();
  std::string headline = std::to_string(passes) + (passes == 1 ? " pass, " : " passes, ") +
                         std::to_string(FailureCount(report.passes)) + " failed";
  return headline + WarmUpNote(report);
}

std::string WarmUpNote(const RunReport& report) {
  if (report.warm_ups == 0) return "";
  return ", after " + std::to_string(report.warm_ups) + (report.warm_ups == 1 ? " warm-up pass" : " warm-up passes");
}

std::string InterruptionNote(const RunReport& report) {
  if (report.stop_signal == 0) return "";
  const size_t passes = report.passes.size();
  return "Stopped by " + SignalText(report.stop_signal) + " after " + std::to_string(passes) +
         (passes == 1 ? " pass." : " passes.");
}

TextTable ResultTable(const RunReport& report) {
  TextTable table{{"Result", "Passes"}, {}, {false, true}};
  for (const auto& [name, count] : Summarize(report.passes).results)
    table.rows.push_back({name, std::to_string(count)});
  return table;
}

TextTable FigureTable(const RunReport& report) {
  TextTable table{{"Figure", "min", "median (p50)", "p90", "p95", "p99", "mean \xC2\xB1 sd", "max"},
                  {},
                  {false, true, true, true, true, true, true, true}};
  table.rows.push_back(FigureRow("Wall time", "ms", Figures(report.passes, &PassRecord::wall_ms), 1));
  table.rows.push_back(FigureRow("User time", "ms", Figures(report.passes, &PassRecord::user_ms), 1));
  table.rows.push_back(FigureRow("System time", "ms", Figures(report.passes, &PassRecord::system_ms), 1));
  table.rows.push_back(FigureRow("Peak memory", "KiB", Figures(report.passes, &PassRecord::peak_kib), 0));
  return table;
}

std::vector<const PassRecord*> ListedFailures(const RunReport& report) {
  std::vector<const PassRecord*> listed;
  for (const PassRecord& pass : report.passes) {
    if (listed.size() == kListedFailures) break;
    if (pass.failed()) listed.push_back(&pass);
  }
  return listed;
}

TextTable FailureTable(const RunReport& report) {
  TextTable table{{"Pass", "Result", "Wall time (ms)", "Peak memory (KiB)"}, {}, {true, false, true, true}};
  for (const PassRecord* listed : ListedFailures(report)) {
    const PassRecord& pass = *listed;
    if (!pass.ran()) {
      table.rows.push_back({std::to_string(pass.number), pass.result_name + " (" + pass.not_run + ")", "", ""});
      continue;
    }
    table.rows.push_back({std::to_string(pass.number), pass.result_name + (pass.timed_out ? " (timed out)" : ""),
                          Fixed(pass.wall_ms, 1), std::to_string(pass.peak_kib)});
  }
  return table;
}

std::string GrowthWarning(const RunReport& report) {
  std::string warning = PeakGrowthWarning(Summarize(report.passes));
  if (!warning.empty() && warning.back() == '\n') warning.pop_back();
  return warning;
}

std::string OutlierNote(const RunReport& report) {
  std::string note = OutlierWarning(Summarize(report.passes));
  if (!note.empty() && note.back() == '\n') note.pop_back();
  return note;
}
