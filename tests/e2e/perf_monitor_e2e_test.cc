// /PERFMON as a user meets it: the built testkve watching the reference engine on this machine,
// its console, its log, the CSV table and the SVG picture it leaves in PerfReport/.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Clock = std::chrono::steady_clock;

// `line` with every decimal number (a minus sign included) replaced by "#", so that a line can be
// compared with its wording whatever its figures.
std::string Wording(const std::string& line) {
  std::string wording;
  for (size_t i = 0; i < line.size();) {
    const bool minus = line[i] == '-' && i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1]));
    if (!minus && !std::isdigit(static_cast<unsigned char>(line[i]))) {
      wording += line[i++];
      continue;
    }
    wording += '#';
    for (i += minus ? 2 : 1; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]));) ++i;
  }
  return wording;
}

// The decimal numbers in `line`, in order.
std::vector<int64_t> Numbers(const std::string& line) {
  std::vector<int64_t> numbers;
  for (size_t i = 0; i < line.size(); ++i) {
    const bool minus = line[i] == '-' && i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1]));
    if (!minus && !std::isdigit(static_cast<unsigned char>(line[i]))) continue;
    size_t used = 0;
    numbers.push_back(std::stoll(line.substr(i), &used));
    i += used - 1;
  }
  return numbers;
}

bool IsThreadLine(const std::string& line) {
  const std::string wording = Wording(line);
  return wording == ">>> PerfMon Thread: #" || wording == "<<< PerfMon Thread: #";
}

ProgramRun Harness(const EngineFolderCopy& folder, const std::vector<std::string>& options,
                   std::map<std::string, std::string> environment = {}) {
  std::vector<std::string> args = {"/NH"};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(BuiltProgram("testkve"), args, {folder.path(), "", std::move(environment)});
}

bool IsSample(const std::string& line) {
  return Wording(line) == "PerfMon: CPU=#%, MEM=#% (# bytes), DATA=# bytes (# operations)";
}

// The console without its sample lines, thread ids replaced by N.
std::vector<std::string> FrameLines(const std::string& output) {
  std::vector<std::string> frame;
  for (const std::string& line : Lines(output)) {
    if (IsSample(line)) continue;
    frame.push_back(IsThreadLine(line) ? line.substr(0, 20) + "N" : line);
  }
  return frame;
}

// What the monitor and its markers write: the console without the driver's own lines.
std::string LoggedPart(const std::string& output) {
  std::string logged;
  for (const std::string& line : Lines(output)) {
    if (line.starts_with("Set VXR.exe") || line.starts_with("Run stress") || line == "Launch KVE program" ||
        IsThreadLine(line)) {
      continue;
    }
    logged += line + "\n";
  }
  return logged;
}

std::vector<std::vector<int64_t>> SampleFigures(const std::string& output) {
  std::vector<std::vector<int64_t>> figures;
  for (const std::string& line : Lines(output)) {
    if (!IsSample(line)) continue;
    // cpu, mem percent, committed, bytes, operations; in CSV order below.
    const std::vector<int64_t> n = Numbers(line);
    figures.push_back({n[0], n[1], n[3], n[4], n[2]});
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

size_t LineCount(const std::filesystem::path& path) { return CountOf(ReadFile(path), "\n"); }

const char* const kReportWording[] = {
    "Perfmon: Finished Performance Profiling...",
    "",
    "================== PERFORMANCE REPORT =======================",
    "Perfmon  CPU:  Diff  =   #% , Max=#%, Min=#%",
    "Perfmon  MEM:  Diff  =   #, Max=#, Min=# bytes",
    "Perfmon  DATA: Peak  =   (# Operations # Bytes) / Second",
    "Perfmon  DATA: Total =   # Operations, # Bytes",
    "Perfmon Time Elasped =   #.# seconds",
    "=============================================================",
};

// The report's nine text lines from `at` on, each in its wording (a total may be "n/a").
void ExpectReport(const std::vector<std::string>& lines, size_t at) {
  ASSERT_LE(at + std::size(kReportWording), lines.size());
  for (size_t i = 0; i < std::size(kReportWording); ++i) {
    const std::string& line = lines[at + i];
    if (i == 6 && line == "Perfmon  DATA: Total =   n/a Operations, n/a Bytes") continue;
    EXPECT_EQ(kReportWording[i], Wording(line)) << line;
  }
  const std::string& elapsed = lines[at + 7];
  EXPECT_EQ(3u, elapsed.size() - elapsed.find('.') - std::string(" seconds").size() - 1)
      << "three decimals: " << elapsed;
}

// The text of the elapsed seconds in the report line.
std::string ElapsedText(const std::string& line) {
  const size_t start = line.find("=   ") + 4;
  return line.substr(start, line.find(" seconds") - start);
}

TEST(PerfMonitorE2eTest, BusyEngineRunIsSampledReportedAndPictured) {
  EngineFolderCopy folder;
  const std::filesystem::path csv = folder.path() / "PerfReport" / "perfCounter.csv";
  // The harness runs beside this thread, which reads /proc/stat itself whenever the monitor
  // adds a row to its table, so both measure the same intervals.
  auto harness = std::async(std::launch::async, [&] {
    return Harness(folder, {"/PERFMON", "/REPORT=report.html"},
                   {{"VXR_REF_BUSY_MS", "3000"}, {"VXR_REF_START_LOG", (folder.path() / "starts.log").string()}});
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
  const std::vector<std::string> head = {"Set VXR.exe file path: .",
                                         "Set VXR.exe file name: vxr.exe",
                                         ">>> PerfMon Thread: N",
                                         "Run stress: 1 round",
                                         "KVE Launch",
                                         "Launch KVE program",
                                         "KVE Finished"};
  ASSERT_EQ(head.size() + std::size(kReportWording) + 1, frame.size()) << run.output;
  EXPECT_EQ(head, std::vector<std::string>(frame.begin(), frame.begin() + head.size()));
  EXPECT_EQ("<<< PerfMon Thread: N", frame.back());
  ExpectReport(frame, head.size());
  const std::string& cpu_line = frame[head.size() + 3];
  const std::string elapsed_text = ElapsedText(frame[head.size() + 7]);

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
  EXPECT_GE(Numbers(cpu_line)[1], 80 / processors) << cpu_line;
  const double elapsed = std::stod(elapsed_text);
  EXPECT_GE(elapsed, 3.0);
  EXPECT_LE(elapsed, 4.0);

  // The table: one row per sample line with the same figures, the engine's rows marked.
  const std::vector<std::string> table = ReadLines(csv);
  const std::vector<std::vector<int64_t>> samples = SampleFigures(run.output);
  ASSERT_EQ(samples.size() + 1, table.size());
  EXPECT_EQ(
      "ms,cpu_percent,mem_percent,io_bytes_per_second,io_operations_per_second,"
      "committed_bytes,engine_running,engine_pid,engine_cpu_percent,engine_resident_bytes,"
      "engine_read_bytes_per_second,engine_written_bytes_per_second",
      table[0]);
  // The engine's own columns name the engine that ran (it logged its process ID) while it ran.
  const std::vector<std::string> starts = ReadLines(folder.path() / "starts.log");
  ASSERT_EQ(1u, starts.size());
  const std::string engine_pid = starts[0].substr(0, starts[0].find(' '));
  int running_rows = 0, engine_rows = 0;
  double engine_cpu = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(table[i + 1]);
    const std::vector<std::string> fields = Split(table[i + 1]);
    ASSERT_EQ(12u, fields.size());
    for (size_t f = 0; f < 5; ++f) {
      const std::string shown = samples[i][f] == -999 ? "" : std::to_string(samples[i][f]);
      EXPECT_EQ(shown, fields[f + 1]);
    }
    running_rows += fields[6] == "1";
    if (fields[6] == "0") {
      EXPECT_EQ("", fields[7] + fields[8] + fields[9] + fields[10] + fields[11]);
    }
    if (fields[7].empty()) continue;
    ++engine_rows;
    EXPECT_EQ(engine_pid, fields[7]);
    EXPECT_GT(std::stoll(fields[9]), 0) << "resident bytes";
    engine_cpu = std::max(engine_cpu, std::stod(fields[8]));
  }
  EXPECT_GE(running_rows, 2);
  // The engine starts after the launch mark, so the first running sample may miss it; the
  // engine that spins for three seconds shows processor time in a later one.
  EXPECT_GE(engine_rows, 1);
  EXPECT_GT(engine_cpu, 0);

  // The processor figure agrees with /proc/stat read here over the engine's samples.
  double harness_sum = 0, outside_sum = 0;
  int compared = 0;
  for (size_t i = 1; i < std::min(samples.size(), ticks_at_row.size()); ++i) {
    const std::vector<std::string> fields = Split(table[i + 1]);
    const int64_t ticks = ticks_at_row[i].total - ticks_at_row[i - 1].total;
    if (fields[6] != "1" || fields[1].empty() || ticks <= 0) continue;
    harness_sum += static_cast<double>(samples[i][0]);
    outside_sum +=
        100.0 * static_cast<double>(ticks_at_row[i].busy - ticks_at_row[i - 1].busy) / static_cast<double>(ticks);
    ++compared;
  }
  ASSERT_GE(compared, 2);
  EXPECT_NEAR(harness_sum / compared, outside_sum / compared, 10.0);

  // The picture: valid XML, the one engine run shaded.
  const std::filesystem::path svg = folder.path() / "PerfReport" / "perfCounter.svg";
  const ProgramRun lint = RunProgram("/usr/bin/xmllint", {"--noout", svg.string()});
  EXPECT_EQ(0, lint.exit_code) << lint.errors;
  EXPECT_EQ(1u, CountOf(ReadFile(svg), "class=\"engine-run\""));
  EXPECT_NE(std::string::npos, ReadFile(svg).find("vxr.exe, engine time " + elapsed_text));
  EXPECT_NE(std::string::npos, ReadFile(svg).find("engine processor (of one core)"));

  // The report page holds the same picture beside the pass plots, made from the same samples.
  const std::string page = ReadFile(folder.path() / "report.html");
  EXPECT_EQ(4u, CountOf(page, "<svg ")) << page.substr(0, 2000);
  EXPECT_NE(std::string::npos, page.find("<title>Performance of vxr.exe, engine time " + elapsed_text));
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
  const auto rule =
      std::find(lines.rbegin(), lines.rend(), "=============================================================");
  EXPECT_EQ(0, std::count_if(lines.rbegin(), rule, IsSample));
  const std::string svg = ReadFile(folder.path() / "PerfReport" / "perfCounter.svg");
  EXPECT_EQ(1u, CountOf(svg, "class=\"engine-run\""));
}

TEST(PerfMonitorE2eTest, ACounterRootThatCannotBeOpenedTurnsTheMonitorOff) {
  EngineFolderCopy folder;
  const auto start = Clock::now();
  const ProgramRun run =
      Harness(folder, {"/PERFMON", "/RUN=2"}, {{"TESTKVE_PROC_ROOT", (folder.path() / "no-proc").string()}});
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe",
                                      ">>> PerfMon Thread: N", "Perfmon: Initial PDH.DLL fail..", "Run stress: 1 round",
                                      "Launch KVE program", "Run stress: 2 round", "Launch KVE program"}),
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
  EXPECT_EQ(
      std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe", ">>> PerfMon Thread: N"}),
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
