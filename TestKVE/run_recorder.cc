#include "TestKVE/run_recorder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/html_report.h"
#include "TestKVE/junit_writer.h"
#include "TestKVE/markdown_report.h"
#include "TestKVE/run_json.h"
#include "TestKVE/run_record.h"
#include "TestKVE/run_report.h"
#include "TestKVE/run_summary.h"
#include "TestKVE/usage.h"
#include "command_text/command_line.h"
#include "perf_monitor/monitor_samples.h"
#include "platform/file_stream.h"
#include "platform/host_name.h"
#include "platform/whole_file.h"
#include "vxr_lib.h"

namespace {

struct RunControl {
  uint32_t time_limit_s = 0;
  bool strict = false;
  bool summary = false;
  bool keep_passes = false;  // something needs every pass at the end
  std::string json_path;
  std::string junit_path;
  std::string report_path;    // /REPORT: the HTML page
  std::string markdown_path;  // /MARKDOWN
  std::string engine_name;
  UniqueStream json;
  bool json_failed = false;  // told once on standard error
  RunDescription run;
  std::vector<PassRecord> passes;
  uint32_t runs = 0;
};

RunControl& Control() {
  static RunControl control;
  return control;
}

int64_t UnixMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string HarnessVersion() {
  return std::to_string(kHarnessMajorVersion) + "." + std::to_string(kHarnessMinorVersion) + "-" + kHarnessBuild;
}

RunDescription DescribeRun(const CommandLine& line, const char* text, const HarnessState& state) {
  RunDescription run;
  run.harness_version = HarnessVersion();
  run.start_unix_ms = UnixMilliseconds();
  run.command_line = text != nullptr ? text : "";
  for (const auto& [name, value] : line.AllOptions()) run.options.emplace_back(name, value);
  run.host_name = platform::HostName();
  run.engine_path = std::string(state.EngineDir) + "/" + state.EngineExeName;
  // The library finds the engine as it will for the run (ignoring case) and reads the file once.
  VXREngineFacts facts;
  VXRDescribeEngine(state.EngineDir, state.EngineExeName, &facts);
  run.engine_version = facts.version;
  run.engine_build = facts.build;
  run.engine_sha256 = facts.sha256;
  return run;
}

void WriteJsonLine(const std::string& line) {
  RunControl& control = Control();
  if (!control.json || control.json_failed) return;
  // The stream is unbuffered: the whole line goes out in one write as its pass ends, so a run
  // that is interrupted keeps every line it wrote, and a full disk can cut only the last one.
  const std::string whole = line + '\n';
  errno = 0;
  if (std::fwrite(whole.data(), 1, whole.size(), control.json.get()) != whole.size()) {
    control.json_failed = true;
    std::fprintf(stderr, "TestKVE: cannot write %s: %s\n", control.json_path.c_str(),
                 errno != 0 ? std::strerror(errno) : "the line was cut");
    NoteFailure();
  }
}

void OpenJson() {
  RunControl& control = Control();
  std::string error;
  control.json = CreateWriteStream(control.json_path.c_str(), &error);
  if (!control.json) {
    std::fprintf(stderr, "TestKVE: cannot open %s\n", error.c_str());
    NoteFailure();
    return;
  }
  std::setvbuf(control.json.get(), nullptr, _IONBF, 0);
  WriteJsonLine(RunJsonLine(control.run));
}

PassRecord RecordOf(const EngineRun& run, uint32_t number) {
  PassRecord pass;
  pass.number = number;
  pass.start_unix_ms = run.start_unix_ms;
  pass.pattern_names = run.pattern_names;
  pass.random_seeds = run.random_seeds;
  pass.result = run.result;
  pass.result_name = ResultCodeName(run.result);
  pass.timed_out = run.usage.timedOut != 0;
  pass.wall_ms = static_cast<double>(run.usage.wallUs) / 1000;
  pass.user_ms = static_cast<double>(run.usage.userUs) / 1000;
  pass.system_ms = static_cast<double>(run.usage.systemUs) / 1000;
  pass.peak_kib = run.usage.peakRssKiB;
  return pass;
}

void RecordEngineRun(const EngineRun& run) {
  RunControl& control = Control();
  if (!control.keep_passes) return;
  PassRecord pass = RecordOf(run, ++control.runs);
  WriteJsonLine(PassJsonLine(pass));
  control.passes.push_back(std::move(pass));
}

void WriteJUnit(const RunControl& control, bool interrupted) {
  std::string error;
  if (!ReplaceFileAtomically(control.junit_path, JUnitReport(control.run, control.passes, interrupted),
                             LinkRule::kRefuse, &error)) {
    std::fprintf(stderr, "TestKVE: cannot write %s: %s\n", control.junit_path.c_str(), error.c_str());
    NoteFailure();
  }
}

void WritePage(const std::string& path, const std::string& page) {
  std::string error;
  if (!ReplaceFileAtomically(path, page, LinkRule::kRefuse, &error)) {
    std::fprintf(stderr, "TestKVE: cannot write %s: %s\n", path.c_str(), error.c_str());
    NoteFailure();
  }
}

// The pages of /REPORT and /MARKDOWN, for the passes that ran; `exit_status` is the one the
// harness is about to end with.
void WriteReportPages(const RunControl& control, int exit_status) {
  if (control.report_path.empty() && control.markdown_path.empty()) return;
  RunReport report;
  report.run = control.run;
  report.passes = control.passes;
  report.end_unix_ms = UnixMilliseconds();
  report.exit_status = exit_status;
  report.stop_signal = NotedStopSignal();
  if (!PerfSamples.empty()) report.monitor = CurrentRunChart(control.engine_name);
  if (!control.report_path.empty()) WritePage(control.report_path, HtmlReport(report));
  if (!control.markdown_path.empty()) WritePage(control.markdown_path, MarkdownReport(report));
}

void PrintSummary(const RunSummary& summary) {
  std::fputs(SummaryText(summary).c_str(), stdout);
  std::fflush(stdout);
  const std::string warning = PeakGrowthWarning(summary);
  if (!warning.empty()) std::fputs(warning.c_str(), stderr);
}

}  // namespace

void StartRunRecords(const CommandLine& line, const char* text, const HarnessState& state) {
  RunControl& control = Control();
  // Read as unsigned, as /RUN is; 0 is no limit.
  control.time_limit_s = static_cast<uint32_t>(ReadDecimalOption(line, "TIMEOUT", 0));
  control.strict = line.HasOption("STRICT");
  control.summary = line.HasOption("SUMMARY");
  control.json_path = OptionValue(line, "JSON");
  control.junit_path = OptionValue(line, "JUNIT");
  control.report_path = OptionValue(line, "REPORT");
  control.markdown_path = OptionValue(line, "MARKDOWN");
  control.engine_name = state.EngineExeName;
  const bool described = !control.json_path.empty() || !control.junit_path.empty() || !control.report_path.empty() ||
                         !control.markdown_path.empty();
  control.keep_passes = control.summary || described;
  if (!described) return;
  control.run = DescribeRun(line, text, state);
  if (!control.json_path.empty()) OpenJson();
}

void AttachRunControl(EngineClient& client) {
  client.set_time_limit(Control().time_limit_s);
  client.set_run_observer(RecordEngineRun);
}

int FinishRunRecords(bool interrupted) {
  RunControl& control = Control();
  std::fflush(stdout);
  if (control.keep_passes) {
    RunSummary summary = Summarize(control.passes);
    summary.interrupted = interrupted;
    WriteJsonLine(SummaryJsonLine(summary));
    if (!control.junit_path.empty()) WriteJUnit(control, interrupted);
    if (control.summary) PrintSummary(summary);
  }
  control.json.reset();
  // The pages show the exit status, so they come last; a page that cannot be written still
  // counts for /STRICT.
  WriteReportPages(control, FinalExitStatus(HarnessExitStatus(control.strict)));
  return HarnessExitStatus(control.strict);
}
