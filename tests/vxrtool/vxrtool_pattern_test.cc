// vxrtool ptn as users and the build run it, and against an independent writer and reader of
// the format (tests/vxrtool/pattern_file_tool.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern_reader/virus_names.h"
#include "support/text.h"
#include "support/vxrtool_runs.h"

namespace {

const std::string kPython = "/usr/bin/python3";
const std::string kPythonTool = TESTKVE_SOURCE_DIR "/tests/vxrtool/pattern_file_tool.py";

class VxrtoolPatternTest : public testing::Test {
 protected:
  // Builds a pattern file of `names` (one per line) with the given extra options.
  ProgramRun Build(const std::string& names, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {
        "ptn", "build", "--version", "321", "--names", folder_.Write("names.txt", names).string(), "--out", out_};
    args.insert(args.end(), options.begin(), options.end());
    return RunVxrtool(args);
  }

  // Names that fill several sections of every mode.
  static std::string ManyNames(int count) {
    std::string names;
    for (int i = 0; i < count; ++i) names += "TROJ_" + std::to_string(i * 7919) + "\n";
    return names;
  }

  TempFolder folder_;
  std::string out_ = (folder_.path() / "out.ptn").string();
};

TEST_F(VxrtoolPatternTest, BuildThenListAndVersionInEveryMode) {
  const std::string names = ManyNames(5000);
  for (const char* mode : {"0x81", "0x01", "none"}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(Build(names, {"--mode", mode, "--records-before", "3"}).exit_code, 0);
    ProgramRun list = RunVxrtool({"ptn", "list", out_});
    EXPECT_EQ(list.exit_code, 0);
    EXPECT_EQ(list.output, names);
    EXPECT_EQ(RunVxrtool({"ptn", "version", out_}).output, "321\n");
    ProgramRun info = RunVxrtool({"ptn", "info", out_});
    EXPECT_NE(info.output.find("  names: 5000\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("  kind 0x1ABDE51A: 1 records"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("  signature: invalid or missing\n"), std::string::npos);
  }
}

TEST_F(VxrtoolPatternTest, FindAnswersPerNameAndByExitCode) {
  ASSERT_EQ(Build("TROJ_ONE\r\n\nWORM_TWO\n", {"--sign", DevKeyPath()}).exit_code, 0);
  EXPECT_NE(RunVxrtool({"ptn", "info", out_}).output.find("  signature: valid\n"), std::string::npos);
  const struct {
    std::vector<std::string> names;
    int exit_code;
    std::string output;
  } cases[] = {
      {{"troj_one", "WORM_TWO"}, 0, "troj_one: found\nWORM_TWO: found\n"},
      {{"TROJ_ONE", "TROJ_ON"}, 1, "TROJ_ONE: found\nTROJ_ON: not found\n"},
      {{"TROJ_ONE", "ABCDEFGHIJKLMNOPQR"}, 2, "TROJ_ONE: found\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exit_code);
    std::vector<std::string> args = {"ptn", "find", out_};
    args.insert(args.end(), c.names.begin(), c.names.end());
    ProgramRun find = RunVxrtool(args);
    EXPECT_EQ(find.exit_code, c.exit_code) << find.errors;
    EXPECT_EQ(find.output, c.output);
  }
  EXPECT_EQ(RunVxrtool({"ptn", "find", out_ + ".missing", "TROJ_ONE"}).exit_code, 2);
}

TEST_F(VxrtoolPatternTest, BuildRefusesBadInputAndWritesNothing) {
  const struct {
    const char* name;
    std::string names;
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {"a name of 18 bytes", "OK\nABCDEFGHIJKLMNOPQR\n", {}, "names.txt:2: the name is longer than 17 bytes"},
      {"a bad mode", "OK\n", {"--mode", "0x02"}, "--mode is 0x81, 0x01 or none"},
      {"a missing key", "OK\n", {"--sign", "/nonexistent-testkve/key.pem"}, "/nonexistent-testkve/key.pem"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramRun run = Build(c.names, c.options);
    EXPECT_NE(run.exit_code, 0);
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(out_));
  }
  ProgramRun run = RunVxrtool({"ptn", "build", "--version", "65536", "--names", "x", "--out", out_});
  EXPECT_EQ(run.exit_code, 2);
}

// The format is the one the reader expects, not a private convention of vxrtool: a file from
// an independent writer lists through vxrtool, and the independent reader reads vxrtool's file.
TEST_F(VxrtoolPatternTest, AgreesWithAnIndependentWriterAndReader) {
  const std::string independent = (folder_.path() / "independent.ptn").string();
  const std::vector<std::string> names = {"TROJ_A", "worm_b", "ABCDEFGHIJKLMNOPQ", "X", "BKDR_C.ZZ", "PE_D", "JS_E"};
  std::vector<std::string> command = {kPythonTool, "write", independent, "4242"};
  command.insert(command.end(), names.begin(), names.end());
  ProgramRun written = RunProgram(kPython, command);
  ASSERT_EQ(written.exit_code, 0) << written.errors;
  ProgramRun list = RunVxrtool({"ptn", "list", independent});
  EXPECT_EQ(list.exit_code, 0);
  EXPECT_EQ(list.output, written.output);
  EXPECT_EQ(Lines(list.output).size(), names.size());
  EXPECT_EQ(RunVxrtool({"ptn", "version", independent}).output, "4242\n");
  EXPECT_EQ(LookupVirusName(independent.c_str(), "Worm_B"), NameLookup::kFound);

  for (const char* mode : {"0x81", "0x01", "none"}) {
    SCOPED_TRACE(mode);
    const std::string many = ManyNames(3000);
    ASSERT_EQ(Build(many, {"--mode", mode, "--records-before", "2", "--sign", DevKeyPath()}).exit_code, 0);
    ProgramRun read = RunProgram(kPython, {kPythonTool, "read", out_});
    ASSERT_EQ(read.exit_code, 0) << read.errors;
    EXPECT_EQ(read.output, "321\n" + many);
  }
}

}  // namespace
