#include "TestKVE/run_recorder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/ab_comparison.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/html_report.h"
#include "TestKVE/junit_writer.h"
#include "TestKVE/markdown_report.h"
#include "TestKVE/misplaced_options.h"
#include "TestKVE/run_json.h"
#include "TestKVE/run_record.h"
#include "TestKVE/run_report.h"
#include "TestKVE/run_summary.h"
#include "TestKVE/usage.h"
#include "command_text/command_line.h"
#include "perf_monitor/perf_mon.h"
#include "platform/file_stream.h"
#include "platform/host_name.h"
#include "platform/path.h"
#include "platform/whole_file.h"
#include "vxr_lib.h"

namespace {

int64_t UnixMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string HarnessVersion() {
  return std::to_string(kHarnessMajorVersion) + "." + std::to_string(kHarnessMinorVersion) + "-" + kHarnessBuild;
}

EngineDescription DescribeEngine(const char* folder, const char* name) {
  // The library finds the engine as it will for the run (ignoring case) and reads the file once.
  VXREngineFacts facts;
  VXRDescribeEngine(folder, name, &facts);
  return {WithSystemSeparators(std::string(folder) + "/" + name), facts.version, facts.build, facts.sha256};
}

RunDescription DescribeRun(const CommandLine& line, const char* text, const HarnessState& state) {
  RunDescription run;
  run.harness_version = HarnessVersion();
  run.start_unix_ms = UnixMilliseconds();
  run.command_line = text != nullptr ? text : "";
  for (const auto& [name, value] : line.AllOptions()) run.options.emplace_back(name, value);
  run.host_name = platform::HostName();
  EngineDescription engine = DescribeEngine(state.EngineDir, state.EngineExeName);
  run.engine_path = std::move(engine.path);
  run.engine_version = std::move(engine.version);
  run.engine_build = std::move(engine.build);
  run.engine_sha256 = std::move(engine.sha256);
  if (!state.AbEngineDir.empty()) run.engine_b = DescribeEngine(state.AbEngineDir.c_str(), state.EngineExeName);
  return run;
}

PassRecord RecordOf(const EngineRun& run, uint32_t number) {
  PassRecord pass;
  pass.number = number;
  pass.warm_up = run.warm_up;
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
  pass.contained = run.usage.contained != 0;
  if (pass.failed()) pass.output = run.output;
  return pass;
}

void PrintSummary(const RunSummary& summary) {
  std::fputs(SummaryText(summary).c_str(), stdout);
  std::fflush(stdout);
  const std::string warning = PeakGrowthWarning(summary) + OutlierWarning(summary);
  if (!warning.empty()) std::fputs(warning.c_str(), stderr);
}

}  // namespace

void RunRecords::WriteJsonLine(const std::string& line) {
  if (!json_ || json_failed_) return;
  // The stream is unbuffered: the whole line goes out in one write as its pass ends, so a run
  // that is interrupted keeps every line it wrote, and a full disk can cut only the last one.
  const std::string whole = line + '\n';
  errno = 0;
  if (std::fwrite(whole.data(), 1, whole.size(), json_.get()) == whole.size()) {
    json_length_ += static_cast<int64_t>(whole.size());
    return;
  }
  const int write_errno = errno;
  json_failed_ = true;
  // The part of the line that got out goes again, so that every line in the file is whole.
  TruncateStream(json_.get(), json_length_);
  std::fprintf(stderr, "TestKVE: cannot write %s: %s; the lines before this one are kept\n", json_path_.c_str(),
               write_errno != 0 ? std::strerror(write_errno) : "the line was cut");
  NoteWriteFailure(write_errno);
}

// A record that could not be written counts for /STRICT; one lost to a closed pipe or the
// file-size limit is lost output, which the exit status tells with or without it.
void RunRecords::NoteWriteFailure(int write_errno) {
  tally_.NoteFailure();
  if (write_errno == EPIPE || write_errno == EFBIG) tally_.NoteOutputLost();
}

void RunRecords::OpenJson() {
  platform::Result<UniqueStream> created = CreateWriteStream(json_path_.c_str());
  if (!created) {
    std::fprintf(stderr, "TestKVE: cannot open %s\n", created.error().text.c_str());
    tally_.NoteFailure();
    return;
  }
  json_ = std::move(*created);
  std::setvbuf(json_.get(), nullptr, _IONBF, 0);
  WriteJsonLine(RunJsonLine(run_));
}

void RunRecords::Keep(PassRecord pass) {
  WriteJsonLine(PassJsonLine(pass));
  // JUnit and the page show the output of as many failed passes as the page lists; the JSON
  // line has it for every one. So a long run of failing passes holds no more than that.
  if (pass.output) {
    if (pass.warm_up || outputs_kept_ == kListedFailures) {
      pass.output.reset();
    } else {
      pass.output->output.shrink_to_fit();
      pass.output->error.shrink_to_fit();
      ++outputs_kept_;
    }
  }
  (pass.warm_up ? warm_ups_ : passes_).push_back(std::move(pass));
}

void RunRecords::Record(const EngineRun& run) {
  if (!keep_passes_) return;
  PassRecord pass = RecordOf(run, run.warm_up ? ++warm_up_runs_ : ++runs_);
  pass.side = side_;
  pass.pair = pair_;
  Keep(std::move(pass));
}

void RunRecords::RecordNotRun(bool warm_up, const std::string& why) {
  if (!keep_passes_) return;
  PassRecord pass;
  pass.number = warm_up ? ++warm_up_runs_ : ++runs_;
  pass.warm_up = warm_up;
  pass.start_unix_ms = UnixMilliseconds();
  pass.not_run = why;
  pass.result_name = kNotRunResultName;
  pass.side = side_;
  pass.pair = pair_;
  Keep(std::move(pass));
}

// The pass that a failure belongs to is the one whose engine run comes next (or has just ended).
void RunRecords::TellPassOfFailure(VXRResult result, bool warm_up) const {
  if (!summary_) return;
  const uint32_t number = (warm_up ? warm_up_runs_ : runs_) + 1;
  std::fflush(stdout);
  std::fprintf(stderr, "%s %u: %s\n", warm_up ? "Warm-up pass" : "Pass", number, ResultCodeName(result).c_str());
}

void RunRecords::WriteJUnit(bool interrupted) {
  std::string error;
  WritePage(junit_path_, JUnitReport(run_, passes_, interrupted));
}

void RunRecords::WritePage(const std::string& path, const std::string& page) {
  platform::Error error;
  if (!ReplaceFileAtomically(path, page, LinkRule::kRefuse, &error)) {
    const int write_errno = errno;
    std::fprintf(stderr, "TestKVE: cannot write %s: %s\n", path.c_str(), error.text.c_str());
    NoteWriteFailure(write_errno);
  }
}

// The pages of /REPORT and /MARKDOWN, for the passes that ran; `exit_status` is the one the
// harness is about to end with.
void RunRecords::WriteReportPages(const PerfMonitor* monitor, int exit_status) {
  if (report_path_.empty() && markdown_path_.empty()) return;
  RunReport report;
  report.run = run_;
  report.passes = passes_;
  report.warm_ups = warm_ups_.size();
  report.end_unix_ms = UnixMilliseconds();
  report.exit_status = exit_status;
  report.stop_signal = tally_.stop_signal();
  if (monitor != nullptr && monitor->has_samples()) report.monitor = monitor->Chart(engine_name_);
  if (!report_path_.empty()) WritePage(report_path_, HtmlReport(report));
  if (!markdown_path_.empty()) WritePage(markdown_path_, MarkdownReport(report));
}

void RunRecords::Start(const CommandLine& line, const char* text, const HarnessState& state) {
  // Read as unsigned, as /RUN is; 0 is no limit.
  time_limit_s_ = static_cast<uint32_t>(ReadDecimalOption(line, "TIMEOUT", 0));
  strict_ = line.HasOption("STRICT");
  summary_ = line.HasOption("SUMMARY");
  json_path_ = OptionValue(line, "JSON");
  junit_path_ = OptionValue(line, "JUNIT");
  report_path_ = OptionValue(line, "REPORT");
  markdown_path_ = OptionValue(line, "MARKDOWN");
  capture_ = CapturesEngineOutput(line);
  engine_name_ = state.EngineExeName;
  std::string ignored;  // the driver has refused a run whose /AB or /FAILIF cannot be read
  ab_ = ReadAbOptions(line, &ignored).value_or(AbOptions{});
  const bool described = !json_path_.empty() || !junit_path_.empty() || !report_path_.empty() ||
                         !markdown_path_.empty() || !ab_.folder.empty();
  keep_passes_ = summary_ || described;
  if (!described) return;
  run_ = DescribeRun(line, text, state);
  if (!json_path_.empty()) OpenJson();
}

void RunRecords::SetSide(char side, uint32_t pair) {
  side_ = std::string(1, side);
  pair_ = pair;
}

void RunRecords::Attach(EngineClient& client) {
  client.set_time_limit(time_limit_s_);
  client.set_run_observer([this](const EngineRun& run) { Record(run); });
  client.set_tally(&tally_);
  client.set_capture(capture_);
  client.set_failure_observer([this](VXRResult result, bool warm_up) { TellPassOfFailure(result, warm_up); });
}

RunEnd RunRecords::Finish(bool interrupted, const PerfMonitor* monitor) {
  std::fflush(stdout);
  if (keep_passes_) {
    RunSummary summary = Summarize(passes_);
    summary.interrupted = interrupted;
    summary.warm_ups = static_cast<uint32_t>(warm_ups_.size());
    WriteJsonLine(SummaryJsonLine(summary));
    if (!junit_path_.empty()) WriteJUnit(interrupted);
    if (summary_) PrintSummary(summary);
  }
  json_.reset();
  int status = tally_.HarnessExitStatus(strict_);
  if (!ab_.folder.empty()) status = std::max(status, CompareAbSides(passes_, run_, ab_.gate));
  // The pages show the exit status, so they come last; a page that cannot be written still
  // counts for /STRICT.
  WriteReportPages(monitor, FinalExitStatus(tally_.End(status)));
  return tally_.End(std::max(status, tally_.HarnessExitStatus(strict_)));
}
