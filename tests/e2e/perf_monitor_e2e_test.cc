// /PERFMON as a user meets it: the built testkve watching the reference engine on this machine,
// its console, its log, the CSV table and the SVG picture it leaves in PerfReport/.
#include <gtest/gtest.h>
#include <unistd.h>

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

#include "harness_run.h"
#include "support/proc_tree.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

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

// A live process as the fixture holds it: `process` with the pid, parent and command line of
// the live one.
ProcTree::Process LiveProcess(int pid, ProcTree::Process process) {
  const std::string live = "/proc/" + std::to_string(pid);
  const std::string stat = ReadFile(live + "/stat");
  process.pid = pid;
  process.parent = std::stoi(stat.substr(stat.rfind(')') + 4));
  process.cmdline = ReadFile(live + "/cmdline");
  return process;
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

// The monitor reads a fixture /proc tree that this test moves on by one quarter busy time
// whenever a row is added to the table, and the engine runs until the table holds two of its
// rows with the engine's own figures: every figure is known, whatever the machine's load. The
// engine's entry in the fixture carries the real engine's process ID, parent and command line
// (from its start log and the live /proc), and figures that grow by a known step each row.
// This is the one test that keeps the monitor's real pauses and sampling period.
TEST(PerfMonitorE2eTest, AnEngineRunIsSampledReportedAndPictured) {
  EngineFolderCopy folder;
  const std::filesystem::path csv = folder.path() / "PerfReport" / "perfCounter.csv";
  const std::filesystem::path hold = folder.Write("hold", "");
  const std::filesystem::path start_log = folder.path() / "starts.log";
  ProcTree proc;
  int64_t busy = 0;
  int64_t idle = 0;
  const auto step_stat = [&] {
    proc.SetStat("cpu  " + std::to_string(busy) + " 0 0 " + std::to_string(idle) + " 0 0 0 0 0 0");
    busy += 25;
    idle += 75;
  };
  step_stat();
  proc.SetMeminfo(2'000'000, 8'000'000);
  ProcTree::Process engine;
  engine.resident_kib = 4096;
  int64_t engine_read = 0;
  const auto step_engine = [&] {
    if (engine.pid == 0) {
      const std::vector<std::string> starts =
          std::filesystem::exists(start_log) ? ReadLines(start_log) : std::vector<std::string>{};
      if (starts.empty()) return;
      engine.pid = std::stoi(starts[0].substr(0, starts[0].find(' ')));
      engine = LiveProcess(engine.pid, engine);
      // The processes between the harness and its engine (the engine starter) are mirrored
      // too, so that the engine is the harness's descendant in the fixture as it is live.
      for (int pid = engine.parent; pid > 1 && pid != getpid();) {
        const ProcTree::Process between = LiveProcess(pid, {});
        proc.SetProcess(between);
        pid = between.parent;
      }
    }
    engine.cpu_ticks += 25;
    engine_read += 1 << 20;
    proc.SetProcess(engine);
    proc.SetProcessIo(engine.pid, engine_read, 0, 0, 0);
  };
  auto harness = std::async(std::launch::async, [&] {
    return Harness(folder, {"/PERFMON", "/REPORT=report.html"},
                   {{"VXR_REF_HOLD_FILE", hold.string()},
                    {"VXR_REF_START_LOG", start_log.string()},
                    {"TESTKVE_PROC_ROOT", proc.str()}});
  });
  size_t rows_seen = 0;
  while (harness.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    const std::vector<std::string> table = std::filesystem::exists(csv) ? ReadLines(csv) : std::vector<std::string>{};
    if (table.size() <= rows_seen) continue;
    rows_seen = table.size();
    step_stat();
    step_engine();
    const auto engine_rows = std::count_if(table.begin(), table.end(), [](const std::string& row) {
      const std::vector<std::string> fields = Split(row);
      return fields.size() == 12 && fields[1] == "25" && fields[6] == "1" && !fields[7].empty();
    });
    if (engine_rows >= 2) std::filesystem::remove(hold);
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
  const std::string elapsed_text = ElapsedText(frame[head.size() + 7]);
  // Every interval the fixture moved on in reads as a quarter; one it did not has no figure.
  EXPECT_EQ("Perfmon  CPU:  Diff  =   0% , Max=25%, Min=25%", frame[head.size() + 3]);
  EXPECT_EQ("Perfmon  MEM:  Diff  =   0, Max=2048000000, Min=2048000000 bytes", frame[head.size() + 4]);

  // The engine's samples lie between its markers.
  const std::vector<std::string> lines = Lines(run.output);
  const auto launch = std::find(lines.begin(), lines.end(), "KVE Launch");
  const auto finish = std::find(lines.begin(), lines.end(), "KVE Finished");
  EXPECT_GE(std::count_if(launch, finish, IsSample), 2);

  // The log holds the same lines.
  EXPECT_EQ(LoggedPart(run.output), ReadFile(folder.path() / "PerfReport" / "perfCounter.log"));

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
  const std::vector<std::string> starts = ReadLines(start_log);
  ASSERT_EQ(1u, starts.size());
  const std::string engine_pid = std::to_string(engine.pid);
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
    EXPECT_EQ(std::to_string(4096 * 1024), fields[9]) << "resident bytes";
    EXPECT_EQ(0.0, std::stod(fields[11])) << "written bytes per second";
    engine_cpu = std::max(engine_cpu, std::stod(fields[8]));
  }
  EXPECT_GE(running_rows, 2);
  EXPECT_GE(engine_rows, 2);
  EXPECT_GT(engine_cpu, 0);

  for (const std::vector<int64_t>& sample : samples) {
    EXPECT_TRUE(sample[0] == 25 || sample[0] == -999) << sample[0];
    EXPECT_EQ(25, sample[1]);
  }

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
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=3"}, {kQuickMonitor});
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
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=2"},
                                 {kQuickMonitor, {"TESTKVE_PROC_ROOT", (folder.path() / "no-proc").string()}});
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe",
                                      ">>> PerfMon Thread: N", "Perfmon: Initial PDH.DLL fail..", "Run stress: 1 round",
                                      "Launch KVE program", "Run stress: 2 round", "Launch KVE program"}),
            FrameLines(run.output));
  EXPECT_EQ("", ReadFile(folder.path() / "PerfReport" / "perfCounter.log"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "PerfReport" / "perfCounter.csv"));
}

TEST(PerfMonitorE2eTest, WithoutAnEngineRunTheMonitorEndsWithTheProcessAndNoReport) {
  EngineFolderCopy folder;
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=0"}, {kQuickMonitor});
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(
      std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe", ">>> PerfMon Thread: N"}),
      FrameLines(run.output));
  const std::string log = ReadFile(folder.path() / "PerfReport" / "perfCounter.log");
  EXPECT_EQ(LoggedPart(run.output), log);
  // How many samples the start's pause holds depends on the machine's load.
  EXPECT_GE(CountOf(log, "PerfMon: CPU="), 1u);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "PerfReport" / "perfCounter.svg"));
}

TEST(PerfMonitorE2eTest, AFileInThePlaceOfTheReportFolderIsReported) {
  EngineFolderCopy folder;
  folder.Write("PerfReport", "not a folder");
  const ProgramRun run = Harness(folder, {"/PERFMON", "/RUN=0"}, {kQuickMonitor});
  ASSERT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ(std::vector<std::string>({"Set VXR.exe file path: .", "Set VXR.exe file name: vxr.exe",
                                      "Failed to create directory.", ">>> PerfMon Thread: N"}),
            FrameLines(run.output));
  EXPECT_EQ("not a folder", ReadFile(folder.path() / "PerfReport"));
}

}  // namespace
