// Every option of the handler table, run through the built testkve against the reference
// engine: the messages printed and the records the engine received, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings_witness.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "vxr_lib.h"

namespace {

struct Pass {
  std::string output;
  std::vector<std::string> settings;
  std::filesystem::path folder;
};

// Runs one testkve in a fresh copy of the engine folder.
Pass RunHarness(const std::vector<std::string>& options, const std::string& input = "") {
  EngineFolderCopy folder;
  std::vector<std::string> args = {"/NH"};
  args.insert(args.end(), options.begin(), options.end());
  ProgramRun run = RunProgram(BuiltProgram("testkve"), args, {folder.path(), input, {}});
  EXPECT_EQ(0, run.exit_code) << run.output << run.errors;
  return {run.output, ReceivedSettings(folder.path()), folder.path()};
}

// The messages of a single pass: the lines between the pass line and the launch notice.
std::vector<std::string> PassMessages(const std::string& output) {
  std::vector<std::string> lines = Lines(output);
  std::vector<std::string> messages;
  bool inside = false;
  for (const std::string& line : lines) {
    if (line == "Launch KVE program") break;
    if (inside) messages.push_back(line);
    if (line.rfind("Run stress: ", 0) == 0) inside = true;
  }
  return messages;
}

struct HandlerCase {
  std::vector<std::string> options;
  std::vector<std::string> messages;
  std::vector<std::string> updated;   // preset lines replaced in place
  std::vector<std::string> appended;  // lines after the presets, in order
};

std::vector<HandlerCase> HandlerCases() {
  const int32_t spyware = 0x1ABDE51A, va = 0x1ABDE31A, va64 = 0x1ABDE91A;
  return {
      {{"/GC"}, {"Enable Generic Clean"}, {}, {FlagRecordLine(VXR_FLG_ENABLE_GENCLEAN, 1)}},
      {{"/GCNAME=a;b"},
       {"Assign Generic Clean virus name: a", "Assign Generic Clean virus name: b"},
       {},
       {StringRecordLine(VXR_STR_VIRUS_NAME_MORVA, "a\nb")}},
      {{"/GCPATH=/x/y;/z"},
       {"Assign Generic Clean virus file path: /x/y", "Assign Generic Clean virus file path: /z"},
       {},
       {StringRecordLine(VXR_STR_VIRUS_FILE_PATH, "/x/y\n/z")}},
      {{"/SPY"},
       {"Enable Spyware Mode"},
       {StringRecordLine(VXR_STR_PATTERN_FILENAME, "qlakve.ptn")},
       {ValueRecordLine(VXR_INT_ENABLE_PATTERN_MAGIC, spyware)}},
      {{"/QZ"},
       {"Enable TALIX Mode"},
       {StringRecordLine(VXR_STR_PATTERN_FILENAME, "QZAKVE.ptn")},
       {FlagRecordLine(VXR_FLG_ENABLE_QZ_SPYWARE, 1)}},
      {{"/VA"},
       {"Enable VA Mode"},
       {StringRecordLine(VXR_STR_PATTERN_FILENAME, "QLVAmain.ptn")},
       {ValueRecordLine(VXR_INT_ENABLE_PATTERN_MAGIC, va)}},
      {{"/VA", "/X64"},
       {"Enable VA Mode"},
       {StringRecordLine(VXR_STR_PATTERN_FILENAME, "QLVAmain.ptn")},
       {ValueRecordLine(VXR_INT_ENABLE_PATTERN_MAGIC, va64)}},
      {{"/VXR"}, {"Enable Trojan Mode"}, {}, {}},
      {{"/PTN=my.ptn"}, {"Set pattern file name: my.ptn"}, {StringRecordLine(VXR_STR_PATTERN_FILENAME, "my.ptn")}, {}},
      {{"/PTN="}, {}, {}, {}},
      {{"/PTNPATH=/opt/my ptn"},
       {"Set pattern path: /opt/my ptn"},
       {StringRecordLine(VXR_STR_PATTERN_DIR, "/opt/my ptn")},
       {}},
      {{"/NC"}, {}, {ValueRecordLine(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITHOUT_CLEAN)}, {}},
      {{"/QUIET"}, {"Enable Detach Mode"}, {}, {FlagRecordLine(VXR_FLG_DETACH_CONSOLE, 1)}},
      {{"/QA"}, {}, {ValueRecordLine(VXR_INT_DEBUG_INFO_LEVEL, 5)}, {}},
      {{"/LEVEL=3"}, {}, {ValueRecordLine(VXR_INT_DEBUG_INFO_LEVEL, 3)}, {}},
      {{"/QA", "/LEVEL"}, {}, {ValueRecordLine(VXR_INT_DEBUG_INFO_LEVEL, 0)}, {}},
      {{"/QA", "/LEVEL=2"}, {}, {ValueRecordLine(VXR_INT_DEBUG_INFO_LEVEL, 2)}, {}},
      {{"/BK"}, {}, {FlagRecordLine(VXR_FLG_BACKUP_FILE, 1)}, {}},
      // Without /LOOP the names reach the context twice: once here, once in the loop.
      {{"/RESTORE=a"},
       {"Restore Pattern: a", "Restore Pattern: a"},
       {ValueRecordLine(VXR_INT_EXECUTE_MODE, RESTORE_ONLY)},
       {StringRecordLine(VXR_STR_RESTORE_VIRUS_PATTERN, "a\na")}},
      {{"/QUICK"}, {"Quick Scan Mode: ON"}, {}, {FlagRecordLine(VXR_FLG_SPYWARE_QUICK_SCAN, 1)}},
      {{"/QUICK-"}, {"Quick Scan Mode: OFF"}, {}, {FlagRecordLine(VXR_FLG_SPYWARE_QUICK_SCAN, 0)}},
      {{"/QUICK-", "/QUICK"}, {"Quick Scan Mode: ON"}, {}, {FlagRecordLine(VXR_FLG_SPYWARE_QUICK_SCAN, 1)}},
      {{"/BL"}, {"Dump Backup File List"}, {ValueRecordLine(VXR_INT_EXECUTE_MODE, DUMP_BACKUP_FILE)}, {}},
      {{"/MSGBOX"}, {}, {FlagRecordLine(VXR_FLG_VIRUS_MSG_BOX, 1), FlagRecordLine(VXR_FLG_NOVIRUS_MSG_BOX, 1)}, {}},
      // Interplay of several handlers.
      {{"/SPY", "/PTN=my.ptn"},
       {"Enable Spyware Mode", "Set pattern file name: my.ptn"},
       {StringRecordLine(VXR_STR_PATTERN_FILENAME, "my.ptn")},
       {ValueRecordLine(VXR_INT_ENABLE_PATTERN_MAGIC, spyware)}},
      {{"/NC", "/ASSIGN=x"},
       {"Assign Pattern: x"},
       {ValueRecordLine(VXR_INT_EXECUTE_MODE, SCAN_ASSIGN_NO_CLEAN)},
       {StringRecordLine(VXR_STR_SCAN_VIRUS_PATTERN, "x")}},
      {{"/EXCEPT=a;b"},
       {"Except Pattern: a", "Except Pattern: b"},
       {},
       {StringRecordLine(VXR_STR_EXCEPT_VIRUS_PATTERN, "a\nb")}},
      {{"/LEVEL=9"}, {"Error Code: VXR_LIB_INVALID_PARAMETER"}, {}, {}},
  };
}

TEST(OptionHandlersE2eTest, EachOptionGivesItsMessagesAndRecords) {
  for (const HandlerCase& test : HandlerCases()) {
    std::string name;
    for (const std::string& option : test.options) name += option + " ";
    SCOPED_TRACE(name);
    Pass pass = RunHarness(test.options);
    EXPECT_EQ(test.messages, PassMessages(pass.output));
    std::vector<std::string> expected = DefaultPresetLines(pass.folder);
    for (const std::string& line : test.updated) UpdateInPlace(&expected, line);
    expected.insert(expected.end(), test.appended.begin(), test.appended.end());
    EXPECT_EQ(expected, pass.settings);
  }
}

TEST(OptionHandlersE2eTest, GenericCleanNamesOnlyInTheFirstPass) {
  Pass pass = RunHarness({"/GCNAME=a;b", "/RUN=2"});
  EXPECT_EQ(2u, CountOf(pass.output, "Assign Generic Clean virus name: "));
  std::string second = pass.output.substr(pass.output.find("Run stress: 2 round"));
  EXPECT_EQ(0u, CountOf(second, "Assign Generic Clean"));
  // The witness is the second pass's: it received no names.
  EXPECT_EQ(DefaultPresetLines(pass.folder), pass.settings);
}

TEST(OptionHandlersE2eTest, VersionEndsTheRunBeforeExecution) {
  Pass pass = RunHarness({"/VER", "/GC"});
  EXPECT_NE(std::string::npos, pass.output.find("Enable Generic Clean\n"));
  EXPECT_NE(std::string::npos, pass.output.find("KVE Version: 3.5-"));
  EXPECT_EQ(0u, CountOf(pass.output, "Launch KVE program"));
  EXPECT_TRUE(pass.settings.empty());
}

TEST(OptionHandlersE2eTest, VersionQuitsTheLibraryAndEndsTheRunInItsFirstPass) {
  Pass pass = RunHarness({"/VER", "/RUN=3", "/DEBUG"});
  EXPECT_EQ(1u, CountOf(pass.output, "Run stress: "));
  EXPECT_EQ(1u, CountOf(pass.output, "KVE Version: 3.5-"));
  // The quit is the last thing the run does.
  const std::string kQuitTail = "<<< VXRQuitScanContext(): 0\n>>> VXRQuitLib()\n<<< VXRQuitLib(): 0\n";
  ASSERT_GE(pass.output.size(), kQuitTail.size());
  EXPECT_EQ(kQuitTail, pass.output.substr(pass.output.size() - kQuitTail.size()));
}

TEST(OptionHandlersE2eTest, InteractiveVersionGoesOnAndLeavesItsSettings) {
  Pass pass = RunHarness({"/INTERACT"}, "/VER\n/EXECUTE /QUIT\n");
  EXPECT_EQ(1u, CountOf(pass.output, "KVE Version: 3.5-"));
  EXPECT_EQ(1u, CountOf(pass.output, "Launch KVE program"));
  std::vector<std::string> expected = DefaultPresetLines(pass.folder);
  UpdateInPlace(&expected, StringRecordLine(VXR_STR_PATTERN_FILENAME, "QLVAMain.ptn"));
  expected.push_back(ValueRecordLine(VXR_INT_DISABLE_PATTERN_MAGIC, 0x1ABDE51A));
  expected.push_back(ValueRecordLine(VXR_INT_DISABLE_PATTERN_MAGIC, 0x1ABDE31A));
  EXPECT_EQ(expected, pass.settings);
}

struct LoopCase {
  std::vector<std::string> options;
  std::vector<std::string> names;  // the Assign Pattern names, in order
};

TEST(PatternLoopE2eTest, LoopNumbersTheNames) {
  const LoopCase cases[] = {
      {{"/ASSIGN=TROJ_X", "/LOOP=3"}, {"TROJ_X", "TROJ_X1", "TROJ_X2"}},
      {{"/ASSIGN=TROJ_X", "/LOOP=3", "/WB=3"}, {"TROJ_X", "TROJ_X001", "TROJ_X002"}},
      {{"/ASSIGN=T", "/LOOP=3", "/WB=-2"}, {"T", "T1", "T2"}},
      {{"/ASSIGN=T", "/LOOP=3", "/WB=0"}, {"T", "T1", "T2"}},
      {{"/ASSIGN=a;b"}, {"a", "b"}},
      {{"/ASSIGN=A", "/LOOP=5", "/RANDOM=5"}, {"A", "A1", "A2", "A3", "A4"}},
      {{"/ASSIGN=A", "/LOOP=5", "/RANDOM=0"}, {"A", "A1", "A2", "A3", "A4"}},
      {{"/ASSIGN=A", "/LOOP=5", "/RANDOM=-1"}, {"A", "A1", "A2", "A3", "A4"}},
      {{"/ASSIGN=A", "/RANDOM=2"}, {"A"}},
      {{"/ASSIGN=A", "/LOOP=0"}, {}},
      {{"/ASSIGN=A", "/LOOP=x"}, {}},
  };
  for (const LoopCase& test : cases) {
    SCOPED_TRACE(test.options.back());
    Pass pass = RunHarness(test.options);
    std::vector<std::string> names;
    for (const std::string& line : Lines(pass.output)) {
      if (line.rfind("Assign Pattern: ", 0) == 0) names.push_back(line.substr(16));
    }
    EXPECT_EQ(test.names, names);
    EXPECT_EQ(0u, CountOf(pass.output, "Random number"));
  }
}

TEST(PatternLoopE2eTest, CounterContinuesIntoTheNextPass) {
  Pass pass = RunHarness({"/ASSIGN=A", "/LOOP=2", "/RUN=2"});
  size_t second = pass.output.find("Run stress: 2 round");
  ASSERT_NE(std::string::npos, second);
  EXPECT_EQ(PassMessages(pass.output.substr(0, second)),
            (std::vector<std::string>{"Assign Pattern: A", "Assign Pattern: A1"}));
  EXPECT_EQ(PassMessages(pass.output.substr(second)),
            (std::vector<std::string>{"Assign Pattern: A2", "Assign Pattern: A3"}));
}

TEST(PatternLoopE2eTest, RandomSelectionAppliesExactlyTheChosenRepetitions) {
  Pass pass = RunHarness({"/ASSIGN=A", "/LOOP=5", "/RANDOM=2"});
  EXPECT_EQ(1u, CountOf(pass.output, "Random number generator is initializing...\n"));
  EXPECT_EQ(1u, CountOf(pass.output, "Random numbers' container is ready\n"));
  EXPECT_EQ(2u, CountOf(pass.output, "Assign Pattern: "));
  // Two distinct repetitions among A, A1 .. A4, and the engine got both names.
  const std::string& last = pass.settings.back();
  EXPECT_EQ(0u, last.find(StringRecordLine(VXR_STR_SCAN_VIRUS_PATTERN, "")));
  EXPECT_EQ(1u, CountOf(last, "\\n"));
}

TEST(PatternLoopE2eTest, RandomCountAboveRandMaxIsCut) {
  Pass pass = RunHarness({"/ASSIGN=A", "/LOOP=40000", "/RANDOM=33000"});
  EXPECT_EQ(1u, CountOf(pass.output, "The random number count is more than ***RAND_MAX***\n"));
  EXPECT_EQ(32767u, CountOf(pass.output, "Assign Pattern: "));
}

TEST(PatternLoopE2eTest, InteractiveLinesContinueTheNumbering) {
  Pass pass = RunHarness({"/INTERACT"}, "\n\n\n/ASSIGN=A /EXECUTE\n/QUIT\n");
  EXPECT_EQ(1u, CountOf(pass.output, "Assign Pattern: A3\n"));
  EXPECT_EQ(StringRecordLine(VXR_STR_SCAN_VIRUS_PATTERN, "A3"), pass.settings.back());
}

}  // namespace
