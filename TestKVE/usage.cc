#include "TestKVE/usage.h"

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "command_text/command_line.h"

namespace {

struct UsageRow {
  const char* option;
  const char* description;
};

constexpr UsageRow kUsageRows[] = {
    {"/VER", "Show KVE and Patterns version"},
    {"/NC", "Don't take any clean action, just scan"},
    {"/VA", "Vulnerability Assessment Scan"},
    {"/SPY", "Spyware Scan"},
    {"/GC", "Enable Generic Clean"},
    {"/GCPATH=<path1>;<path2>", "Assign full path for generic clean"},
    {"/GCNAME=<name1>;<name2>", "Assign virus name for generic clean"},
    {"/DLL", "Get ExtraOuput Event"},
    {"/VXR", "Trojan Scan"},
    {"/QA", "Execute VXR_QA.exe"},
    {"/PTN=<file name>", "Specify pattern file name"},
    {"/PTNPATH=<file path>", "Specify pattern file path"},
    {"/VXRPATH=<engine path>", "Specify the path of engine"},
    {"/LEVEL=0~5", "Debug information level"},
    {"/BL", "List backup file pattern"},
    {"/ASSIGN=<name1>;<name2>", "Assign specify patterns to scan"},
    {"/EXCEPT=<name1>;;", "Add exception patterns"},
    {"/RESTORE=<name1>;;", "Restore backup patterns"},
    {"/LOOP=<n>", "Loop interator for ASSIGN, EXCEPT and RESTORE option"},
    {"/RANDOM=<n>", "Randomly select n pattern for ASSIGN, EXCEPT AND RESTORE loop"},
    {"/WB=<n>", "For loop's wildcard bytes"},
    {"/BK", "Backup files / registry after clean"},
    {"/MSGBOX", "Pop-up message box to show scan result"},
    {"/DEBUG", "Show the debug information with KVELib"},
    {"/RUN=<n>", "Run KVE n times for stress test"},
    {"/INTERACT", "Enable interaction mode in TestKVE"},
    {"/QUIT", "Quit out interaction mode"},
    {"/PERFMON", "Performance Monitor"},
    {"/MEM", "Memory Leak Testing"},
    {"/SERVICE", "Using service account to run"},
    {"/X64", "Run vxr64.exe"},
    {"/QZ", "TALIX mode"},
};

constexpr UsageRow kRunControlRows[] = {
    {"/TIMEOUT=<seconds>", "Time limit for every engine run"},
    {"/JSON=<file>", "Record the run as JSON Lines"},
    {"/JUNIT=<file>", "Write a JUnit XML report"},
    {"/REPORT=<file>", "Write an HTML page of the run"},
    {"/MARKDOWN=<file>", "Write the run's summary as Markdown"},
    {"/STRICT", "Exit status 1 when anything failed (see below)"},
    {"/SUMMARY", "Print the run's summary at the end"},
    {"/SEED=<n>", "Seed random selection call k with n + k"},
    {"/WARMUP=<n>", "n warm-up passes first, outside the figures"},
    {"/PREPARE=<command>", "Shell command before every pass"},
    {"/CLEANUP=<command>", "Shell command after every engine run"},
    {"/CAPTURE", "Keep the engine's output of failed passes"},
    {"/AB=<engine path>", "Pairs of runs: this engine (B) against A"},
    {"/FAILIF=<rules>", "With /AB: exit 1 if B is worse, e.g. wall>+5%"},
};

// How the harness ends, for a CI step that reads its exit status.
constexpr UsageRow kExitStatusRows[] = {
    {"0", "Done (always, without /STRICT)"},
    {"1", "Output lost; with /STRICT, any failure told (Error Code, warning);"},
    {"", "with /FAILIF, B significantly worse beyond a rule"},
    {"2", "Unusable argument (/AB, /FAILIF), or unknown option with /STRICT;"},
    {"", "nothing ran"},
    {"128+n", "Signal n (INT, TERM, HUP) stopped an engine run"},
};

std::string UsageRows(std::span<const UsageRow> rows) {
  std::string text;
  char row[160];
  for (const UsageRow& usage : rows) {
    std::snprintf(row, sizeof row, "   %-23s%s\n", usage.option, usage.description);
    text += row;
  }
  return text;
}

std::string BuildUsageText() {
  return "Usage: [Command Name] {[option]} {[file|directory|@FileList]}\n\n" + UsageRows(kUsageRows);
}

// Every banner line is 54 characters: '|', 52 characters of text, '|'.
std::string FramedLine(const char* text) {
  char line[64];
  std::snprintf(line, sizeof line, "|%-52.52s|\n", text);
  return line;
}

}  // namespace

const char* UsageText() {
  static const std::string text = BuildUsageText();
  return text.c_str();
}

const char* RunControlUsageText() {
  static const std::string text =
      "\nRun control:\n" + UsageRows(kRunControlRows) + "\nExit status:\n" + UsageRows(kExitStatusRows);
  return text.c_str();
}

HelpWord FindHelpWord(std::span<const char* const> arguments) {
  for (std::string_view argument : arguments) {
    if (argument == "--help" || argument == "-h") return HelpWord::kHelp;
    if (argument == "--version" || argument == "-V") return HelpWord::kVersion;
  }
  return HelpWord::kNone;
}

void PrintHelpWord(HelpWord word) {
  if (word == HelpWord::kHelp) {
    const std::string text = std::string(UsageText()) + RunControlUsageText();
    std::fputs(text.c_str(), stdout);
  } else if (word == HelpWord::kVersion) {
    std::printf("TestKVE   Ver %d.%d-%s\n", kHarnessMajorVersion, kHarnessMinorVersion, kHarnessBuild);
  }
}

void PrintBanner(const CommandLine& line) {
  if (line.HasOption("NH")) return;
  const std::string border = "+" + std::string(52, '-') + "+\n";
  char title[64];
  std::snprintf(title, sizeof title, "|              TestKVE   Ver %d.%d-%s                |\n", kHarnessMajorVersion,
                kHarnessMinorVersion, kHarnessBuild);
  std::string banner = border + title + FramedLine("") +
                       FramedLine("   Test harness for the virus-damage cleanup engine") + FramedLine("") +
                       FramedLine("   For engine quality assurance; not for end users") + border;
  std::fputs(banner.c_str(), stdout);
}

RunFlow PrintUsage(const CommandLine& line, const HarnessState& state) {
  if (!line.HasOption("?")) return RunFlow::kContinue;
  // One write for the whole text, the added block after the table.
  const std::string text = std::string(UsageText()) + RunControlUsageText();
  std::fputs(text.c_str(), stdout);
  return state.InteractiveMode == 0 ? RunFlow::kEndRun : RunFlow::kContinue;
}
