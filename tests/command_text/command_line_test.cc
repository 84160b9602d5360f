#include "command_text/command_line.h"

#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/process_command_line.h"
#include "platform/text_encoding.h"

namespace {

struct ScanCase {
  const char* line;
  std::map<std::string, std::string> options;  // every option the line must give
  std::vector<std::string> absent;             // names that must not be present
};

// The option scan's consequences, edge cases included.
const ScanCase kScanCases[] = {
    {"prog /ver -Run=3", {{"VER", ""}, {"RUN", "3"}}, {}},
    {"prog /PTNPATH=\"C:\\Program Files\\ptn\" /VER", {{"PTNPATH", "C:\\Program Files\\ptn"}, {"VER", ""}}, {}},
    {"prog /PTNPATH=\"C:\\x", {{"PTNPATH", "C:\\x"}}, {}},
    {"prog /PTNPATH=\"C:\\x /VER", {{"PTNPATH", "C:\\x /VER"}}, {"VER"}},
    {"prog /LEVEL=2 /LEVEL=4", {{"LEVEL", "4"}}, {}},
    {"prog /ASSIGN=Troj_a", {{"ASSIGN", "Troj_a"}}, {}},
    {"prog /=abc /VER", {{"VER", ""}}, {"", "ABC"}},
    {"prog /VER /", {{"VER", ""}}, {""}},
    {"prog /VER -", {{"VER", ""}}, {""}},
    {"prog a-b", {{"B", ""}}, {"A-B"}},
    {"prog //X", {{"/X", ""}}, {"X"}},
    {"prog /name=Value", {{"NAME", "Value"}}, {"name"}},
    {"prog /NAME= /VER", {{"NAME", ""}, {"VER", ""}}, {}},
    {"prog /NAME=", {{"NAME", ""}}, {}},
    {"prog /PTN= /VER", {{"PTN", ""}, {"VER", ""}}, {}},
    {"prog /A=\"\" /B", {{"A", ""}, {"B", ""}}, {}},
    {"prog /A=\"x y\"z /B", {{"A", "x y"}, {"B", ""}}, {"Z"}},
    {"prog /RUN=3 trailing words", {{"RUN", "3"}}, {"TRAILING"}},
    {"/usr/bin/testkve /NH", {{"USR/BIN/TESTKVE", ""}, {"NH", ""}}, {"BIN"}},
    {"prog /a=1=2", {{"A", "1=2"}}, {}},
    {"prog /QUICK-", {{"QUICK-", ""}}, {"QUICK"}},
    {"prog /?", {{"?", ""}}, {}},
    // Windows users end a quoted folder with a backslash: the scan knows no escapes.
    {"TestKVE.exe /NH /RUN=1 /VXRPATH=\"C:\\eng ine\\\"", {{"NH", ""}, {"RUN", "1"}, {"VXRPATH", "C:\\eng ine\\"}}, {}},
    {"TestKVE.exe /VXRPATH=\"C:\\eng ine\\\" /NH /RUN=1", {{"VXRPATH", "C:\\eng ine\\"}, {"NH", ""}, {"RUN", "1"}}, {}},
    {"TestKVE.exe /VXRPATH=\"C:\\work\\eng\\\" /NH", {{"VXRPATH", "C:\\work\\eng\\"}, {"NH", ""}}, {}},
    {"TestKVE.exe /ASSIGN=a\"b /LEVEL=2", {{"ASSIGN", "a\"b"}, {"LEVEL", "2"}}, {}},
    {"", {}, {"VER"}},
};

TEST(CommandLineTest, ScanGivesEachOptionItsValueAndNothingElse) {
  for (const ScanCase& test : kScanCases) {
    SCOPED_TRACE(test.line);
    CommandLine line(test.line);
    for (const auto& [name, value] : test.options) {
      std::string got = "unchanged";
      EXPECT_TRUE(line.HasOption(name)) << name;
      EXPECT_TRUE(line.GetOptionValue(name, &got)) << name;
      EXPECT_EQ(value, got) << name;
    }
    for (const std::string& name : test.absent) EXPECT_FALSE(line.HasOption(name)) << name;
  }
}

TEST(CommandLineTest, NullLineIsEmptyAndAbsentOptionLeavesOutAlone) {
  CommandLine line(nullptr);
  std::string out = "kept";
  EXPECT_FALSE(line.HasOption("VER"));
  EXPECT_FALSE(line.GetOptionValue("VER", &out));
  EXPECT_EQ("kept", out);
}

TEST(CommandLineTest, LookupIsCaseSensitiveAgainstStoredUpperCase) {
  CommandLine line("prog /Debug");
  EXPECT_TRUE(line.HasOption("DEBUG"));
  EXPECT_FALSE(line.HasOption("Debug"));
}

TEST(CommandLineTest, UpperCasesOnlyAsciiLetters) {
  CommandLine line("prog /\xC3\xA9t\xC3\xA9=1");  // "été" in UTF-8
  EXPECT_TRUE(line.HasOption("\xC3\xA9T\xC3\xA9"));
}

struct SplitCase {
  const char* text;
  std::vector<std::string> items;
};

TEST(SplitListTest, SplitsAtSeparatorsKeepingEmptyItemsInside) {
  const SplitCase cases[] = {
      {"a;b", {"a", "b"}},      {"a;", {"a"}}, {"a;;", {"a", ""}}, {";a", {"", "a"}},
      {"a;;b", {"a", "", "b"}}, {"", {}},      {"abc", {"abc"}},   {";", {""}},
  };
  for (const SplitCase& test : cases) {
    SCOPED_TRACE(test.text);
    std::vector<std::string> items = {"stale"};
    EXPECT_EQ(1, SplitList(test.text, ';', &items));
    EXPECT_EQ(test.items, items);
  }
}

// An item cut to its 1023 bytes ends on a whole character of the system's text: UTF-8 on
// Windows whatever the C runtime's locale, the locale's characters on Linux.
TEST(SplitListTest, CutsOnlyBetweenCharacters) {
  const bool utf8_locale = platform::TextIsUtf8() || std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  if (!utf8_locale) GTEST_SKIP() << "no UTF-8 locale on this system";
  std::string e_acute;
  for (int i = 0; i < 600; ++i) e_acute += "\xC3\xA9";
  std::vector<std::string> items;
  ASSERT_EQ(1, SplitList(e_acute, ';', &items));
  std::setlocale(LC_CTYPE, "C");
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ(e_acute.substr(0, 1022), items[0]);
}

TEST(SplitListTest, CutsOverlongItemsAndListsToTheirLimits) {
  std::vector<std::string> items;
  std::string long_item(2000, 'x');
  ASSERT_EQ(1, SplitList(long_item + ";b", ';', &items));
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(std::string(1023, 'x'), items[0]);
  EXPECT_EQ("b", items[1]);

  std::string forty;
  for (int i = 0; i < 40; ++i) forty += "n" + std::to_string(i) + ";";
  ASSERT_EQ(1, SplitList(forty, ';', &items));
  ASSERT_EQ(16u, items.size());
  EXPECT_EQ("n0", items.front());
  EXPECT_EQ("n15", items.back());
}

TEST(ReadDecimalTest, ReadsLikeTheRuntimesAtoi) {
  const std::pair<const char*, int32_t> cases[] = {
      {"3", 3},
      {"  42x", 42},
      {"-1", -1},
      {"+7", 7},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
      {"\t12", 12},
      {"1 2", 1},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(value, ReadDecimal(text));
  }
}

// The program's path at the front of a Windows command line, as the system reads it there.
TEST(ProcessCommandLineTest, WindowsProgramPathEndsAtItsQuoteOrFirstBlank) {
  const std::pair<const char*, size_t> cases[] = {
      {"TestKVE.exe /NH", 11},
      {"\"C:\\a-b c\\TestKVE.exe\" /NH", 22},
      {"\"C:\\a b\\TestKVE.exe\"/NH", 20},
      {"C:\\a-b\\TestKVE.exe\t/NH", 18},
      {"\"C:\\open quote /NH", 18},
      {"TestKVE.exe", 11},
      {"", 0},
  };
  for (const auto& [line, length] : cases) {
    SCOPED_TRACE(line);
    EXPECT_EQ(length, WindowsProgramPathLength(line));
  }
}

TEST(ProcessCommandLineTest, QuotesElementsWithBlanksAsWindowsShowsThem) {
  const char* argv[] = {"/opt/testkve", "/PTNPATH=/opt/my ptn", "/VER", "two words", "tab\there", "", "/=a b", "-X=1"};
  EXPECT_EQ(
      "/opt/testkve /PTNPATH=\"/opt/my ptn\" /VER \"two words\" \"tab\there\" \"\" "
      "/=\"a b\" -X=1",
      ProcessCommandLineText(8, argv));
}

TEST(ProcessCommandLineTest, RebuiltLineScansBackToTheTypedValue) {
  const char* argv[] = {"testkve", "/PTNPATH=/opt/my ptn", "/VER"};
  CommandLine line(ProcessCommandLineText(3, argv).c_str());
  std::string value;
  EXPECT_TRUE(line.GetOptionValue("PTNPATH", &value));
  EXPECT_EQ("/opt/my ptn", value);
  EXPECT_TRUE(line.HasOption("VER"));
}

}  // namespace
