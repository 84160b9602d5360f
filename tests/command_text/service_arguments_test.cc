#include "command_text/service_arguments.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestKVE/process_command_line.h"
#include "command_text/command_line.h"
#include "platform/ascii.h"

namespace {

struct RewriteCase {
  const char* command;
  const char* options;  // the third start argument
  bool program_quoted;
};

// The program name goes by its quote or by "TESTKVE"; options keep their case; only options that
// the harness reads as SERVICE go, with their values.
const RewriteCase kRewriteCases[] = {
    {"TestKVE.exe /SERVICE /RUN=2 C:\\Temp", "  /RUN=2 C:\\Temp", false},
    {"\"C:\\Tools\\TestKVE.exe\" /SERVICE /NC", "  /NC", true},
    {"TestKVE.exe /SERVICE", " ", false},
    {"/usr/bin/testkve /service /assign=abc", "  /assign=abc", false},
    {"/opt/harness /SERVICE /NC", "/opt/harness  /NC", false},
    {"testkve -SERVICE", "", false},
    {"TESTKVE/SERVICE /NC", " /NC", false},
    {"testkve /SERVICE /X=a\"b /NC", "b /NC", true},
    {"\"/a b/testkve\" /SERVICE /PTNPATH=/home/qa/Ptn", "  /PTNPATH=/home/qa/Ptn", true},
    {"testkve /SERVICES /PTNPATH=/srv/service /GCPATH=C:\\Service\\x",
     " /SERVICES /PTNPATH=/srv/service /GCPATH=C:\\Service\\x", false},
    {"testkve /Service=1 -service /NC /sErViCe", "   /NC ", false},
    {"testkve /NC my-service", " /NC my", false},
};

TEST(ServiceArgumentsTest, RewritesTheCommandLine) {
  for (const RewriteCase& c : kRewriteCases) {
    SCOPED_TRACE(c.command);
    ServiceArguments arguments = RewriteServiceArguments(c.command);
    EXPECT_EQ(c.options, arguments.options);
    EXPECT_EQ(c.program_quoted, arguments.program_quoted);
  }
}

// The table CommandLine builds from a line: upper-case names, last value wins.
std::map<std::string, std::string> OptionsOf(std::string_view line) {
  std::map<std::string, std::string> options;
  ScanOptions(line, [&](const ScannedOption& option) {
    if (!option.name.empty()) options[platform::AsciiUpperCopy(option.name)] = std::string(option.value);
  });
  return options;
}

TEST(ServiceArgumentsTest, TheHarnessSeesTheOptionsThatWereHandedOn) {
  const char* cases[] = {
      "  /RUN=2 C:\\Temp",
      " /PTNPATH=\"/home/qa/my ptn\" /ptn= /VER -quick- //X /LEVEL=2 /LEVEL=4",
      " /ASSIGN=a;b /X=a\"b /=abc /Y=\"unclosed value /Z",
      "",
      "no options at all",
  };
  for (const char* options : cases) {
    SCOPED_TRACE(options);
    std::vector<std::string> words = ServiceOptionWords(options);
    std::vector<const char*> argv = {"/opt/engine/testkve"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    std::string rebuilt = ProcessCommandLineText(static_cast<int>(argv.size()), argv.data());
    std::map<std::string, std::string> expected = OptionsOf(options);
    expected["OPT/ENGINE/TESTKVE"] = "";  // the harness's own path, scanned like the rest
    EXPECT_EQ(expected, OptionsOf(rebuilt)) << rebuilt;
  }
  EXPECT_EQ((std::vector<std::string>{"/PTNPATH=/home/qa/my ptn", "/NC"}),
            ServiceOptionWords(" /PTNPATH=\"/home/qa/my ptn\" /NC"));
}

}  // namespace
