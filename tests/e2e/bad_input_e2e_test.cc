// Bad input meets a clear answer: VXR.INI values that do not fit, arguments that cannot be
// carried into the command line text, numbers that read as something else, output that cannot
// be written, typed lines with CR LF ends. Every run is the built testkve.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings_witness.h"
#include "support/peak_memory.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "vxr_lib.h"

namespace {

const char kDefaultEngine[] = "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\n";

ProgramRun Harness(const TempFolder& folder, const std::vector<std::string>& options, const std::string& input = "") {
  std::vector<std::string> args = {"/NH"};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(BuiltProgram("testkve"), args, {folder.path(), input, {}});
}

TEST(BadInputE2eTest, AnIniValueThatDoesNotFitIsRefusedAndNoEngineStarts) {
  const struct {
    const char* name;
    std::string ini;
  } cases[] = {
      {"PatternDir", "[options]\nPatternDir=/" + std::string(300, 'p') + "\n"},
      {"ReportDir", "[advanced]\nReportDir=" + std::string(260, 'r') + "\n"},
      {"PatternName", "[advanced]\nPatternName=" + std::string(256, 'n') + ".ptn\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineFolderCopy folder;
    folder.Write("VXR.INI", c.ini);
    ProgramRun run = Harness(folder, {});
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(std::string(kDefaultEngine) +
                  "Run stress: 1 round\n"
                  "Error Code: VXR_LIB_FAIL_READ_INI\n"
                  "Error Code: VXR_LIB_NOT_INIT\n"
                  "Launch KVE program\n"
                  "Error Code: VXR_LIB_NOT_INIT\n"
                  "Error Code: VXR_LIB_NOT_INIT\n",
              run.output);
    EXPECT_TRUE(ReceivedSettings(folder.path()).empty()) << "the engine never ran";
  }
}

// The profile reader holds one line at a time: a VXR.INI of 48 MiB of keys and comments costs
// the run no more than a few MiB above the bundled one.
TEST(BadInputE2eTest, ALargeIniIsReadWithBoundedMemory) {
  EngineFolderCopy folder;
  const std::string testkve = BuiltProgram("testkve");
  const std::filesystem::path large_ini = folder.path() / "large.ini";
  {
    std::ofstream ini(large_ini, std::ios::trunc);
    const std::string value(1000, 'v');
    const std::string comment = "; " + std::string(1000, 'c') + "\n";
    ini << "[advanced]\n";
    for (int i = 0; i < 25 * 1024; ++i) ini << "Key" << i << "=" << value << "\n";
    for (int i = 0; i < 25 * 1024; ++i) ini << comment;
    ini << "[options]\nBackupDir=found at the end\n";
  }
  ASSERT_GT(std::filesystem::file_size(large_ini), 48u << 20);
  // The kernel counts the memory of this process before the exec into a spawned child's peak,
  // so both runs start from the same state of it: nothing is allocated between them.
  const PeakMemoryRun baseline = RunForPeakMemory(testkve, {"/NH"}, folder.path());
  ASSERT_EQ(0, baseline.exit_code);
  std::filesystem::rename(large_ini, folder.path() / "VXR.INI");
  const PeakMemoryRun large = RunForPeakMemory(testkve, {"/NH"}, folder.path());
  ASSERT_EQ(0, large.exit_code);
  EXPECT_LT(large.peak_kib - baseline.peak_kib, 8 * 1024)
      << "bundled VXR.INI " << baseline.peak_kib << " KiB, 48 MiB VXR.INI " << large.peak_kib;
  std::vector<std::string> received = ReceivedSettings(folder.path());
  EXPECT_NE(received.end(),
            std::find(received.begin(), received.end(), StringRecordLine(VXR_STR_BACKUP_DIR, "found at the end")));
}

TEST(BadInputE2eTest, EveryArgumentIsCarriedAsTypedOrRefusedBeforeAnythingRuns) {
  TempFolder folder;
  const struct {
    std::string argument;
    std::string path;  // the engine folder printed; empty: refused
  } cases[] = {
      {"/VXRPATH=/tmp/sp ace", "/tmp/sp ace"}, {"/VXRPATH=\"/tmp/sp ace\"", "/tmp/sp ace"},
      {"/VXRPATH=/tmp/q\"x", "/tmp/q\"x"},     {"-vxrpath=\"/tmp/open", "/tmp/open"},
      {"/VXRPATH=/tmp/sp ace/q\"x", ""},       {"/VXRPATH=\"/tmp/sp\" ace\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    ProgramRun run = Harness(folder, {"/RUN=0", c.argument, "/VER"});
    if (c.path.empty()) {
      EXPECT_EQ(2, run.exit_code);
      EXPECT_EQ("", run.output) << "nothing runs";
      EXPECT_EQ("testkve: argument 3 (" + c.argument +
                    ") cannot be passed on as typed: its value holds both a blank and a double "
                    "quote, which no quoting can carry\n",
                run.errors);
      continue;
    }
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ("Set VXR.exe file path: " + c.path + "\nSet VXR.exe file name: vxr.exe\n", run.output)
        << "/RUN=0 and the /VER after it: the value ended where the argument did";
    EXPECT_EQ("", run.errors);
  }
}

TEST(BadInputE2eTest, NumbersThatReadAsSomethingElseDrawOneWarningEach) {
  EngineFolderCopy folder;
  const struct {
    std::vector<std::string> options;
    std::string errors;
  } cases[] = {
      {{"/RUN=abc"}, "testkve: warning: /RUN=abc is not a whole decimal number; read as 0\n"},
      {{"/LOOP=1x", "/LEVEL=abc"},
       "testkve: warning: /LOOP=1x is not a whole decimal number; read as 1\n"
       "testkve: warning: /LEVEL=abc is not a whole decimal number; read as 0\n"},
      {{"/RANDOM=99999999999", "/WB=-99999999999"},
       "testkve: warning: /RANDOM=99999999999 does not fit in 32 bits; read as 2147483647\n"
       "testkve: warning: /WB=-99999999999 does not fit in 32 bits; read as -2147483648\n"},
      {{"/RUN=-2147483649"}, "testkve: warning: /RUN=-2147483649 does not fit in 32 bits; read as 2147483648\n"},
      {{"/RUN=2147483647", "/LOOP=-1", "/WB=+3", "/LEVEL=-2147483648", "/TIMEOUT=-0"}, ""},
      {{"/TIMEOUT=abc"}, "testkve: warning: /TIMEOUT=abc is not a whole decimal number; read as 0\n"},
      {{"/TIMEOUT=-1"}, "testkve: warning: /TIMEOUT=-1 is negative; read as 4294967295\n"},
      {{"/TIMEOUT=1s"}, "testkve: warning: /TIMEOUT=1s is not a whole decimal number; read as 1\n"},
      {{"/SEED=-3", "/WARMUP=two"},
       "testkve: warning: /SEED=-3 is negative; read as 4294967293\n"
       "testkve: warning: /WARMUP=two is not a whole decimal number; read as 0\n"},
      {{"/RUN=-5"}, "testkve: /RUN=-5 asks for 4294967291 passes\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.back());
    std::vector<std::string> options = c.options;
    options.push_back("/VER");  // ends the process in the first pass, whatever /RUN reads as
    ProgramRun run = Harness(folder, options);
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(c.errors, run.errors);
    EXPECT_EQ(0u, CountOf(run.output, "warning")) << "standard output keeps its own lines";
  }
}

// Lost output: standard output full or closed. The engine still runs; the harness ends with
// one message and exit status 1.
TEST(BadInputE2eTest, OutputThatCannotBeWrittenEndsInOneMessageAndStatus1) {
  for (const char* redirection : {">/dev/full", ">&-"}) {
    SCOPED_TRACE(redirection);
    EngineFolderCopy folder;
    ProgramRun run =
        RunProgram("/bin/sh", {"-c", std::string("exec \"$0\" /NH ") + redirection, BuiltProgram("testkve")},
                   {folder.path(), "", {}});
    EXPECT_EQ(1, run.exit_code);
    ASSERT_EQ(1u, Lines(run.errors).size()) << run.errors;
    EXPECT_EQ(0u, run.errors.find("testkve: cannot write standard output: ")) << run.errors;
    EXPECT_EQ(DefaultPresetLines(folder.path()), ReceivedSettings(folder.path()));
  }
  TempFolder folder;
  ProgramRun usage =
      RunProgram("/bin/sh", {"-c", "exec \"$0\" /? >/dev/full", BuiltProgram("testkve")}, {folder.path()});
  EXPECT_EQ(1, usage.exit_code);
  EXPECT_EQ("testkve: cannot write standard output: No space left on device\n", usage.errors);
}

// Lines saved with CR LF ends read as typed: /EXECUTE executes, /QUIT quits.
TEST(BadInputE2eTest, TypedLinesWithCrLfEndsReadAsTyped) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/INTERACT"}, "/LEVEL=3\r\n/EXECUTE\r\n/QUIT\r\n/LEVEL=4\n");
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(std::string(kDefaultEngine) +
                "Enable Interactive Mode...\n"
                "TestKVE> TestKVE> Launch KVE program\nTestKVE> ",
            run.output);
  std::vector<std::string> expected = DefaultPresetLines(folder.path());
  UpdateInPlace(&expected, ValueRecordLine(VXR_INT_DEBUG_INFO_LEVEL, 3));
  EXPECT_EQ(expected, ReceivedSettings(folder.path()));
}

// A number warning is a failure for /STRICT; the note of a negative /RUN is not.
TEST(BadInputE2eTest, NumberWarningsCountForStrict) {
  EngineFolderCopy folder;
  const struct {
    std::string option;
    int exit_code;
  } cases[] = {{"/TIMEOUT=abc", 1}, {"/WARMUP=-1", 1}, {"/SEED=1e3", 1}, {"/RUN=-1", 0}, {"/TIMEOUT=5", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    ProgramRun run = Harness(folder, {c.option, "/STRICT", "/VER"});
    EXPECT_EQ(c.exit_code, run.exit_code) << run.errors;
  }
}

TEST(BadInputE2eTest, TypedNumbersThatReadAsSomethingElseDrawOneWarningEach) {
  EngineFolderCopy folder;
  ProgramRun run = Harness(folder, {"/INTERACT"}, "/LEVEL=2x /RUN=abc\n/QUIT\n");
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ("testkve: warning: /LEVEL=2x is not a whole decimal number; read as 2\n", run.errors)
      << "/RUN is not read from a typed line";
}

// A typed line is checked as the command line is: an unknown option draws its warning (and
// counts for /STRICT), and the line still runs.
TEST(BadInputE2eTest, TypedUnknownOptionsDrawTheCommandLinesWarning) {
  EngineFolderCopy folder;
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "/STRICT" : "lenient");
    std::vector<std::string> options = {"/INTERACT"};
    if (strict) options.push_back("/STRICT");
    ProgramRun run = Harness(folder, options, "/LEVLE=3 /LEVEL=4\n/QUIT\n");
    EXPECT_EQ(strict ? 1 : 0, run.exit_code);
    EXPECT_EQ("testkve: warning: /LEVLE=3: unknown option; did you mean /LEVEL?\n", run.errors);
    EXPECT_EQ(std::string(kDefaultEngine) + "Enable Interactive Mode...\nTestKVE> TestKVE> ", run.output);
  }
}

}  // namespace
