// The harness's frame as a user meets it: banner, usage, engine choice, run loop, interactive
// mode. Every run is the built testkve in a fresh folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

const char kBanner[] =
    "+----------------------------------------------------+\n"
    "|              TestKVE   Ver 5.0-1105                |\n"
    "|                                                    |\n"
    "|   Test harness for the virus-damage cleanup engine |\n"
    "|                                                    |\n"
    "|   For engine quality assurance; not for end users  |\n"
    "+----------------------------------------------------+\n";

const char kUsageTable[] =
    "Usage: [Command Name] {[option]} {[file|directory|@FileList]}\n"
    "\n"
    "   /VER                   Show KVE and Patterns version\n"
    "   /NC                    Don't take any clean action, just scan\n"
    "   /VA                    Vulnerability Assessment Scan\n"
    "   /SPY                   Spyware Scan\n"
    "   /GC                    Enable Generic Clean\n"
    "   /GCPATH=<path1>;<path2>Assign full path for generic clean\n"
    "   /GCNAME=<name1>;<name2>Assign virus name for generic clean\n"
    "   /DLL                   Get ExtraOuput Event\n"
    "   /VXR                   Trojan Scan\n"
    "   /QA                    Execute VXR_QA.exe\n"
    "   /PTN=<file name>       Specify pattern file name\n"
    "   /PTNPATH=<file path>   Specify pattern file path\n"
    "   /VXRPATH=<engine path> Specify the path of engine\n"
    "   /LEVEL=0~5             Debug information level\n"
    "   /BL                    List backup file pattern\n"
    "   /ASSIGN=<name1>;<name2>Assign specify patterns to scan\n"
    "   /EXCEPT=<name1>;;      Add exception patterns\n"
    "   /RESTORE=<name1>;;     Restore backup patterns\n"
    "   /LOOP=<n>              Loop interator for ASSIGN, EXCEPT and RESTORE option\n"
    "   /RANDOM=<n>            Randomly select n pattern for ASSIGN, EXCEPT AND RESTORE loop\n"
    "   /WB=<n>                For loop's wildcard bytes\n"
    "   /BK                    Backup files / registry after clean\n"
    "   /MSGBOX                Pop-up message box to show scan result\n"
    "   /DEBUG                 Show the debug information with KVELib\n"
    "   /RUN=<n>               Run KVE n times for stress test\n"
    "   /INTERACT              Enable interaction mode in TestKVE\n"
    "   /QUIT                  Quit out interaction mode\n"
    "   /PERFMON               Performance Monitor\n"
    "   /MEM                   Memory Leak Testing\n"
    "   /SERVICE               Using service account to run\n"
    "   /X64                   Run vxr64.exe\n"
    "   /QZ                    TALIX mode\n";

// The run-control options, in a block of their own after the table.
const char kRunControlBlock[] =
    "\n"
    "Run control:\n"
    "   /TIMEOUT=<seconds>     Time limit for every engine run\n"
    "   /JSON=<file>           Record the run as JSON Lines\n"
    "   /JUNIT=<file>          Write a JUnit XML report\n"
    "   /REPORT=<file>         Write an HTML page of the run\n"
    "   /MARKDOWN=<file>       Write the run's summary as Markdown\n"
    "   /STRICT                Exit status 1 when anything failed (see below)\n"
    "   /SUMMARY               Print the run's summary at the end\n"
    "   /SEED=<n>              Seed random selection call k with n + k\n"
    "   /WARMUP=<n>            n warm-up passes first, outside the figures\n"
    "   /PREPARE=<command>     Shell command before every pass\n"
    "   /CLEANUP=<command>     Shell command after every engine run\n"
    "   /CAPTURE               Keep the engine's output of failed passes\n"
    "   /AB=<engine path>      Pairs of runs: this engine (B) against A\n"
    "   /FAILIF=<rules>        With /AB: exit 1 if B is worse, e.g. wall>+5%\n"
    "\n"
    "Exit status:\n"
    "   0                      Done (always, without /STRICT)\n"
    "   1                      Output lost; with /STRICT, any failure told (Error Code, warning);\n"
    "                          with /FAILIF, B significantly worse beyond a rule\n"
    "   2                      Unusable argument (/AB, /FAILIF), or unknown option with /STRICT;\n"
    "                          nothing ran\n"
    "   128+n                  Signal n (INT, TERM, HUP) stopped an engine run\n";

const std::string kUsage = std::string(kUsageTable) + kRunControlBlock;

const char kDefaultEngine[] = "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\n";

ProgramRun Testkve(const std::vector<std::string>& args, const std::string& input = "") {
  TempFolder folder;
  // /SERVICE keeps its service database in the run's own folder, never the machine's.
  return RunProgram(BuiltProgram("testkve"), args,
                    {folder.path(), input, {{"TESTKVE_SERVICE_DB", folder.str() + "/services"}}});
}

TEST(DriverE2eTest, UsageEndsTheProcessBeforeAnythingElse) {
  ProgramRun run = Testkve({"/?"});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(kBanner + kUsage, run.output);
}

TEST(DriverE2eTest, BannerLinesAreAll54Characters) {
  for (const std::string& line : Lines(kBanner)) EXPECT_EQ(54u, line.size()) << line;
}

TEST(DriverE2eTest, NoBannerWithNh) {
  EXPECT_EQ(kUsage, Testkve({"-nh", "/?"}).output);
  EXPECT_EQ(kDefaultEngine, Testkve({"/NH", "/RUN=0"}).output);
}

TEST(DriverE2eTest, EngineTableChoosesTheExecutable) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"/X64", "/QA", "/MEM"}, "vxr64_qa.exe"}, {{"/X64", "/MEM"}, "vxr64_mem.exe"}, {{"/X64"}, "vxr64.exe"},
      {{"/QA", "/MEM"}, "vxr_qa.exe"},           {{"/MEM"}, "vxr_mem.exe"},           {{}, "vxr.exe"},
  };
  for (const auto& [options, name] : cases) {
    std::vector<std::string> args = {"/NH", "/RUN=0"};
    args.insert(args.end(), options.begin(), options.end());
    ProgramRun run = Testkve(args);
    SCOPED_TRACE(name);
    EXPECT_EQ(std::string("Set VXR.exe file path: .\nSet VXR.exe file name: ") + name + "\n", run.output);
  }
}

TEST(DriverE2eTest, EngineFolderComesFromVxrpathAndIsCut) {
  EXPECT_EQ(kDefaultEngine, Testkve({"/NH", "/RUN=0", "/VXRPATH="}).output);
  EXPECT_EQ("Set VXR.exe file path: /opt/my eng\nSet VXR.exe file name: vxr.exe\n",
            Testkve({"/NH", "/RUN=0", "/VXRPATH=/opt/my eng"}).output);
  std::string long_path(1000, 'd');
  EXPECT_EQ("Set VXR.exe file path: " + long_path.substr(0, 259) + "\nSet VXR.exe file name: vxr.exe\n",
            Testkve({"/NH", "/RUN=0", "/VXRPATH=" + long_path}).output);
}

TEST(DriverE2eTest, RunCountsStressPasses) {
  const std::pair<const char*, size_t> cases[] = {
      {"/RUN=", 1}, {"/RUN=0", 0}, {"/RUN=abc", 0}, {"/RUN=3", 3}, {"/NC", 1},
  };
  for (const auto& [option, passes] : cases) {
    SCOPED_TRACE(option);
    ProgramRun run = Testkve({"/NH", option});
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(passes, CountOf(run.output, "Run stress: "));
    EXPECT_EQ(passes, CountOf(run.output, "Launch KVE program\n"));
    for (size_t i = 1; i <= passes; ++i)
      EXPECT_EQ(1u, CountOf(run.output, "Run stress: " + std::to_string(i) + " round\n"));
  }
}

TEST(DriverE2eTest, InteractAndServiceRunNoPass) {
  for (const char* mode : {"/INTERACT", "/SERVICE"}) {
    SCOPED_TRACE(mode);
    ProgramRun run = Testkve({"/NH", mode, "/RUN=5"});
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(0u, CountOf(run.output, "Run stress"));
  }
}

// Interactive mode runs against the bundled engine, so the library calls succeed and the
// output is the frame's own.
ProgramRun Interactive(const std::string& input) {
  EngineFolderCopy folder;
  return RunProgram(BuiltProgram("testkve"), {"/NH", "/INTERACT"}, {folder.path(), input, {}});
}

const std::string kInteractiveStart = std::string(kDefaultEngine) + "Enable Interactive Mode...\n";

TEST(DriverE2eTest, InteractiveQuitAndEndOfInput) {
  const std::pair<const char*, const char*> cases[] = {
      {"/QUIT\n", "TestKVE> "},
      {"-quit", "TestKVE> "},
      {"", "TestKVE> "},
      {"\n\n/QUIT\n", "TestKVE> TestKVE> TestKVE> "},
      {"QUIT\n", "TestKVE> TestKVE> "},
  };
  for (const auto& [input, prompts] : cases) {
    SCOPED_TRACE(input);
    ProgramRun run = Interactive(input);
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(kInteractiveStart + prompts, run.output);
  }
}

TEST(DriverE2eTest, InteractiveUsageGoesOnWithTheLine) {
  ProgramRun run = Interactive("/? /QUIT\n");
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(kInteractiveStart + "TestKVE> " + kUsage, run.output);
}

TEST(DriverE2eTest, OverlongInteractiveLineIsCut) {
  // The line is cut to 1023 bytes, so the /QUIT at its end is lost and the next line quits.
  std::string input = "/LEVEL=1 " + std::string(5000, 'x') + " /QUIT\n/QUIT\n";
  ProgramRun run = Interactive(input);
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(kInteractiveStart + "TestKVE> TestKVE> ", run.output);
}

}  // namespace
