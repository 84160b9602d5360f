// /PERFMON as a user meets it: the built testkve watching the reference engine on this machine,
// its console, its log, the CSV table and the SVG picture it leaves in PerfReport/.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::regex kSampleLine(
    R"(PerfMon: CPU=(-?\d+)%, MEM=(-?\d+)% \((-?\d+) bytes\), DATA=(-?\d+) bytes \((-?\d+) operations\))");
const std::regex kThreadLine(R"((>>>|<<<) PerfMon Thread: \d+)");

ProgramRun Harness(const EngineFolderCopy& folder, const std::vector<std::string>& options,
                   std::map<std::string, std::string> environment = {}) {
  std::vector<std::string> args = {"/NH"};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(BuiltProgram("testkve"), args, {folder.path(), "", std::move(environment)});
}

bool IsSample(const std::string& line) { return std::regex_match(line, kSampleLine); }

// The console without its sample lines, thread ids replaced by N.
std::vector<std::string> FrameLines(const std::string& output) {
  std::vector<std::string> frame;
  for (const std::string& line : Lines(output)) {
    if (IsSample(line)) continue;
    frame.push_back(std::regex_match(line, kThreadLine) ? line.substr(0, 20) + "N" : line);
  }
  return frame;
}

// What the monitor and its markers write: the console without the driver's own lines.
std::string LoggedPart(const std::string& output) {
  std::string logged;
  for (const std::string& line : Lines(output)) {
    if (line.starts_with("Set VXR.exe") || line.starts_with("Run stress") ||
        line == "Launch KVE program" || std::regex_match(line, kThreadLine)) {
      continue;
    }
    logged += line + "\n";
  }
  return logged;
}

std::vector<std::vector<int64_t>> SampleFigures(const std::string& output) {
  std::vector<std::vector<int64_t>> figures;
  for (const std::string& line : Lines(output)) {
    std::smatch match;
    if (!std::regex_match(line, match, kSampleLine)) continue;
    // In CSV order: cpu, mem percent, bytes, operations, committed.
    figures.push_back({std::stoll(match[1]), std::stoll(match[2]), std::stoll(match[4]),
                       std::stoll(match[5]), std::stoll(match[3])});
  }
  return figures;
}

std::vector<std::string> Split(const std::string& row) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t comma; (comma = row.find(',', start)) != std::string::npos; start = comma + 1)
    fields.push_back(row.substr(start, comma - start));
  fields.push_back(row.substr(start));
  return fields;
}

struct CpuTicks {
  int64_t busy = 0;
  int64_t total = 0;
};

// The machine's processor ticks read here, independently of the harness.
CpuTicks ReadCpuTicks() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  int64_t user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
  const int64_t busy = user + nice + system + irq + softirq + steal;
  return {busy, busy + idle + iowait};
}

size_t LineCount(const std::filesystem::path& path) {
  return CountOf(ReadFile(path), "\n");
}

const char* const kReportWording[] = {
    "Perfmon: Finished Performance Profiling...",
    "",
    "================== PERFORMANCE REPORT =======================",
    R"(Perfmon  CPU:  Diff  =   (\d+)% , Max=(\d+)%, Min=(\d+)%)",
    R"(Perfmon  MEM:  Diff  =   (\d+), Max=(\d+), Min=(\d+) bytes)",
    R"(Perfmon  DATA: Peak  =   \((\d+) Operations (\d+) Bytes\) / Second)",
    R"(Perfmon  DATA: Total =   (\d+|n/a) Operations, (\d+|n/a) Bytes)",
    R"(Perfmon Time Elasped =   (\d+\.\d\d\d) seconds)",
    "=============================================================",
};

// The report's lines in order at the end of `lines`, each matched against its wording; the
// captured figures of each line.
std::vector<std::smatch> MatchReport(const std::vector<std::string>& lines, size_t at) {
  std::vector<std::smatch> matches;
  for (size_t i = 0; i < std::size(kReportWording); ++i) {
    std::smatch match;
    EXPECT_LT(at + i, lines.size());
    if (at + i >= lines.size()) break;
    EXPECT_TRUE(std::regex_match(lines[at + i], match, std::regex(kReportWording[i])))
        << lines[at + i];
    matches.push_back(match);
  }
  return matches;
}

TEST(PerfMonitorE2eTest, BusyEngineRunIsSampledReportedAndPictured) {
  EngineFolderCopy folder;
  const std::filesystem::path csv = folder.path() / "PerfReport" / "perfCounter.csv";
  // The harness runs beside this thread, which reads /proc/stat itself whenever the monitor
  // adds a row to its table, so both measure the same intervals.
  auto harness = std::async(std::launch::async, [&] {
    return Harness(folder, {"/PERFMON"}, {{"VXR_REF_BUSY_MS", "3000"}});
  });
  std::vector<CpuTicks> ticks_at_row;  // index: data row number
  while (harness.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    const size_t rows = std::filesystem::exists(csv) ? LineCount(csv) : 0;
    if (rows > ticks_at_row.size() + 1) {
      const CpuTicks now = ReadCpuTicks();
      while (ticks_at_row.size() + 1 < rows) ticks_at_row.push_back(now);
    }
  }
  const ProgramRun run = harness.get();
  ASSERT_EQ(0, run.exit_code) << run.errors;

  // The console: the frame in order, with the sample lines around it.
  const std::vector<std::string> frame = FrameLines(run.output);
  const std::vector<std::string> head = {
      "Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe", ">>> PerfMon Thread: N",
      "Run stress: 1 round",      "KVE Launch",                      "Launch KVE program",
      "KVE Finished"};
  ASSERT_EQ(head.size() + std::size(kReportWording) + 1, frame.size()) << run.output;
  EXPECT_EQ(head, std::vector<std::string>(frame.begin(), frame.begin() + head.size()));
  EXPECT_EQ("<<< PerfMon Thread: N", frame.back());
  const std::vector<std::smatch> report = MatchReport(frame, head.size());
  ASSERT_EQ(std::size(kReportWording), report.size());

  // About five samples before the launch, and the engine's three seconds sampled.
  const std::vector<std::string> lines = Lines(run.output);
  const auto launch = std::find(lines.begin(), lines.end(), "KVE Launch");
  const auto finish = std::find(lines.begin(), lines.end(), "KVE Finished");
  EXPECT_GE(std::count_if(lines.begin(), launch, IsSample), 4);
  EXPECT_GE(std::count_if(launch, finish, IsSample), 2);

  // The log holds the same lines.
  EXPECT_EQ(LoggedPart(run.output), ReadFile(folder.path() / "PerfReport" / "perfCounter.log"));

  // The engine kept one of n processors busy: the maximum saw at least about 100/n percent.
  const int processors = static_cast<int>(std::thread::hardware_concurrency());
  EXPECT_GE(std::stoi(report[3][2]), 80 / processors) << report[3][0];
  const double elapsed = std::stod(report[7][1]);
  EXPECT_GE(elapsed, 3.0);
  EXPECT_LE(elapsed, 4.0);

  // The table: one row per sample line with the same figures, the engine's rows marked.
  const std::vector<std::string> table = ReadLines(csv);
  const std::vector<std::vector<int64_t>> samples = SampleFigures(run.output);
  ASSERT_EQ(samples.size() + 1, table.size());
  EXPECT_EQ("ms,cpu_percent,mem_percent,io_bytes_per_second,io_operations_per_second,"
            "committed_bytes,engine_running",
            table[0]);
  int running_rows = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(table[i + 1]);
    const std::vector<std::string> fields = Split(table[i + 1]);
    ASSERT_EQ(7u, fields.size());
    for (size_t f = 0; f < 5; ++f) {
      const std::string shown = samples[i][f] == -999 ? "" : std::to_string(samples[i][f]);
      EXPECT_EQ(shown, fields[f + 1]);
    }
    running_rows += fields[6] == "1";
  }
  EXPECT_GE(running_rows, 2);

  // The processor figure agrees with /proc/stat read here over the engine's samples.
  ASSERT_EQ(samples.size(), ticks_at_row.size());
  double harness_sum = 0, outside_sum = 0;
  int compared = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    const std::vector<std::string> fields = Split(table[i + 1]);
    const int64_t ticks = ticks_at_row[i].total - ticks_at_row[i - 1].total;
    if (fields[6] != "1" || fields[1].empty() || ticks <= 0) continue;
    harness_sum += static_cast<double>(samples[i][0]);
    outside_sum += 100.0 * static_cast<double>(ticks_at_row[i].busy - ticks_at_row[i - 1].busy) /
                   static_cast<double>(ticks);
    ++compared;
  }
  ASSERT_GE(compared, 2);
  EXPECT_NEAR(harness_sum / compared, outside_sum / compared, 10.0);

  // The picture: valid XML, the one engine run shaded.
  const std::filesystem::path svg = folder.path() / "PerfReport" / "perfCounter.svg";
  const ProgramRun lint = RunProgram("/usr/bin/xmllint", {"--noout", svg.string()});
  EXPECT_EQ(0, lint.exit_code) << lint.errors;
  EXPECT_EQ(1u, CountOf(ReadFile(svg), "class=\"engine-run\""));
  EXPECT_NE(std::string::npos, ReadFile(svg).find("vxr.exe, engine time " + std::string(report[7][1])));
}

TEST(PerfMonitorE2eTest, ThreePassesLogTheMarkersOfAllAndOneReport) {
  EngineFolderCopy folder;
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=3"});
  ASSERT_EQ(0, run.exit_code) << run.errors;
  const std::string log = ReadFile(folder.path() / "PerfReport" / "perfCounter.log");
  EXPECT_EQ(LoggedPart(run.output), log);
  std::vector<std::string> markers_and_report;
  for (const std::string& line : Lines(log)) {
    if (line.starts_with("KVE ") || line.find("PERFORMANCE REPORT") != std::string::npos)
      markers_and_report.push_back(line);
  }
  EXPECT_EQ(std::vector<std::string>({"KVE Launch", "KVE Finished",
                                      "================== PERFORMANCE REPORT "
                                      "=======================",
                                      "KVE Launch", "KVE Finished", "KVE Launch", "KVE Finished"}),
            markers_and_report);
  // The monitor stopped after the first pass: no sample after its report.
  const std::vector<std::string> lines = Lines(log);
  const auto rule = std::find(lines.rbegin(), lines.rend(),
                              "=============================================================");
  EXPECT_EQ(0, std::count_if(lines.rbegin(), rule, IsSample));
  const std::string svg = ReadFile(folder.path() / "PerfReport" / "perfCounter.svg");
  EXPECT_EQ(1u, CountOf(svg, "class=\"engine-run\""));
}

TEST(PerfMonitorE2eTest, ACounterRootThatCannotBeOpenedTurnsTheMonitorOff) {
  EngineFolderCopy folder;
  const auto start = Clock::now();
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=2"},
                                 {{"TESTKVE_PROC_ROOT", (folder.path() / "no-proc").string()}});
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe",
                                      ">>> PerfMon Thread: N", "Perfmon: Initial PDH.DLL fail..",
                                      "Run stress: 1 round", "Launch KVE program",
                                      "Run stress: 2 round", "Launch KVE program"}),
            FrameLines(run.output));
  EXPECT_EQ("", ReadFile(folder.path() / "PerfReport" / "perfCounter.log"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "PerfReport" / "perfCounter.csv"));
  // The start's five seconds only: two passes with their pauses would take twelve more.
  EXPECT_LT(seconds, 11.0);
}

TEST(PerfMonitorE2eTest, WithoutAnEngineRunTheMonitorEndsWithTheProcessAndNoReport) {
  EngineFolderCopy folder;
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=0"});
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe",
                                      ">>> PerfMon Thread: N"}),
            FrameLines(run.output));
  const std::string log = ReadFile(folder.path() / "PerfReport" / "perfCounter.log");
  EXPECT_EQ(LoggedPart(run.output), log);
  EXPECT_GE(CountOf(log, "PerfMon: CPU="), 4u);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "PerfReport" / "perfCounter.svg"));
}

TEST(PerfMonitorE2eTest, AFileInThePlaceOfTheReportFolderIsReported) {
  EngineFolderCopy folder;
  folder.Write("PerfReport", "not a folder");
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=0"});
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe",
                                      "Failed to create directory.", ">>> PerfMon Thread: N"}),
            FrameLines(run.output));
  EXPECT_EQ("not a folder", ReadFile(folder.path() / "PerfReport"));
}

}  // namespace
