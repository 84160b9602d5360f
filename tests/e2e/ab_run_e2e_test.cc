// /AB runs and testkve-compare as a CI job meets them: the built testkve runs two engine
// folders of the reference engine in pairs, and the comparison and its gate answer with
// differences no noise can hide (a side that fails, three times the processor work).
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "harness_run.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Environment = std::map<std::string, std::string>;

ProgramRun Compare(const std::filesystem::path& folder, const std::vector<std::string>& args) {
  return RunProgram(BuiltProgram("testkve-compare"), args, {folder, "", {}});
}

// Side B's engine folder: a copy of the build's, its engines steered by `steering` lines.
struct SideB : EngineFolderCopy {
  explicit SideB(const std::string& steering) { Write("vxr_ref_steering.txt", steering); }
};

// The lines of `text` that begin with one of `prefixes`, in their order.
std::string LinesStartingWith(const std::string& text, std::initializer_list<std::string> prefixes) {
  std::string lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
    for (const std::string& prefix : prefixes) {
      if (line.starts_with(prefix)) {
        lines += line;
        break;
      }
    }
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

TEST(AbRunE2eTest, PairsAlternateTheSidesAndEachSideRunsItsOwnEngine) {
  EngineFolderCopy folder;
  SideB b("VXR_REF_START_LOG=" + (folder.path() / "b.log").string() + "\n");
  const ProgramRun run = Harness(folder, {"/AB=" + b.str(), "/RUN=2", "/JSON=ab.jsonl", "/JUNIT=ab.xml"},
                                 {{"VXR_REF_START_LOG", (folder.path() / "a.log").string()}});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ("Run stress: 1 round\nSide A: engine folder .\nRun stress: 2 round\nSide B: engine folder " + b.str() +
                "\nRun stress: 3 round\nSide B: engine folder " + b.str() +
                "\nRun stress: 4 round\nSide A: engine folder .\n",
            LinesStartingWith(run.output, {"Run stress", "Side "}))
      << run.output;
  // Each engine logged its own starts: two in each folder.
  EXPECT_EQ(2u, Lines(ReadFile(folder.path() / "a.log")).size());
  EXPECT_EQ(2u, Lines(ReadFile(folder.path() / "b.log")).size());
  const std::string record = ReadFile(folder.path() / "ab.jsonl");
  EXPECT_NE(std::string::npos, record.find("\"engine_b\":{\"path\":\"" + b.str() + "/vxr.exe\""));
  for (const char* pass :
       {R"("side":"A","pair":1})", R"("side":"B","pair":1})", R"("side":"B","pair":2})", R"("side":"A","pair":2})"}) {
    EXPECT_NE(std::string::npos, record.find(pass)) << pass;
  }
  EXPECT_NE(std::string::npos, ReadFile(folder.path() / "ab.xml").find("name=\"pass 2 side B\""));
  EXPECT_NE(std::string::npos,
            run.output.find("Comparison of B (" + b.str() + "/vxr.exe) with A (./vxr.exe): 2 pairs"));
  // The record compares again, side for side.
  const ProgramRun again = Compare(folder.path(), {"ab.jsonl"});
  EXPECT_EQ(0, again.exit_code) << again.errors;
  EXPECT_NE(std::string::npos, again.output.find("2 pairs, Wilcoxon signed-rank test")) << again.output;
}

TEST(AbRunE2eTest, ASideThatFailsBreaksTheGateOnThatSideOnly) {
  struct Case {
    const char* name;
    bool b_fails;
    int exit_code;
  };
  for (const Case& c : {Case{"B fails", true, 1}, Case{"A fails", false, 0}}) {
    SCOPED_TRACE(c.name);
    EngineFolderCopy folder;
    SideB b(c.b_fails ? "VXR_REF_EXIT=-93\n" : "VXR_REF_EXIT=0\n");
    const Environment environment = {{"VXR_REF_EXIT", c.b_fails ? "0" : "-93"}};
    const ProgramRun run =
        Harness(folder, {"/AB=" + b.str(), "/RUN=10", "/JSON=ab.jsonl", "/failif=FAILURES>0"}, environment);
    EXPECT_EQ(c.exit_code, run.exit_code) << run.errors;
    const std::string failures = c.b_fails ? "  failures: A 0 of 10 (0.0 %), B 10 of 10 (100.0 %)"
                                           : "  failures: A 10 of 10 (100.0 %), B 0 of 10 (0.0 %)";
    EXPECT_EQ(failures + "; Fisher's exact p = 0.0000, significant\n", LinesStartingWith(run.output, {"  failures"}));
    EXPECT_EQ(c.b_fails ? "  results on A only: VXR_LIB_SUCCESS (10)\n"
                          "  results on B only: VXR_RET_LOAD_PATTERN_FAILED (10)\n"
                        : "  results on A only: VXR_RET_LOAD_PATTERN_FAILED (10)\n"
                          "  results on B only: VXR_LIB_SUCCESS (10)\n",
              LinesStartingWith(run.output, {"  results on"}));
    EXPECT_EQ(c.b_fails ? "TestKVE: /FAILIF: B is worse: failures 100.0 % against 0.0 % (Fisher's exact p = "
                          "0.0000) beyond +0.0 points\n"
                        : "",
              run.errors);
    const ProgramRun gate = Compare(folder.path(), {"--fail-if", "failures>0", "ab.jsonl"});
    EXPECT_EQ(c.exit_code, gate.exit_code) << gate.errors;
  }
}

TEST(AbRunE2eTest, ThreeTimesTheWorkIsFoundInPairsAndInSeparateRuns) {
  EngineFolderCopy folder;
  SideB b("VXR_REF_CPU_MS=150\nVXR_REF_MEMORY_KB=65536\n");
  const Environment work = {{"VXR_REF_CPU_MS", "50"}};
  const ProgramRun run =
      Harness(folder, {"/AB=" + b.str(), "/RUN=8", "/FAILIF=user>+50%,peak>+100%", "/JSON=ab.jsonl"}, work);
  EXPECT_EQ(1, run.exit_code) << run.errors;
  EXPECT_TRUE(run.errors.starts_with("TestKVE: /FAILIF: B is worse: user time +")) << run.errors;
  EXPECT_NE(std::string::npos, run.errors.find("; peak memory +")) << run.errors;
  const ProgramRun again = Compare(folder.path(), {"--fail-if", "user>+50%", "ab.jsonl"});
  EXPECT_EQ(1, again.exit_code);

  // Two separate runs, one engine each, compared with Mann-Whitney U.
  EXPECT_EQ(0, Harness(folder, {"/RUN=8", "/JSON=a.jsonl"}, work).exit_code);
  EXPECT_EQ(0, Harness(folder, {"/RUN=8", "/JSON=b.jsonl"}, {{"VXR_REF_CPU_MS", "150"}}).exit_code);
  const ProgramRun worse = Compare(
      folder.path(), {"--fail-if", "USER>+50%", "--markdown", "c.md", "--html", "c.html", "a.jsonl", "b.jsonl"});
  EXPECT_EQ(1, worse.exit_code) << worse.errors;
  EXPECT_NE(std::string::npos, worse.output.find("8 and 8 runs, Mann-Whitney U test")) << worse.output;
  EXPECT_NE(std::string::npos, worse.output.find("  user time: A median ")) << worse.output;
  EXPECT_TRUE(ReadFile(folder.path() / "c.md").starts_with("## Comparison of B with A\n"));
  const std::string page = ReadFile(folder.path() / "c.html");
  EXPECT_NE(std::string::npos, page.find("<table id=\"comparison\">"));
  EXPECT_NE(std::string::npos, page.find("user time: share of runs at or below"));
  const ProgramRun reversed = Compare(folder.path(), {"--fail-if", "user>+5%", "b.jsonl", "a.jsonl"});
  EXPECT_EQ(0, reversed.exit_code) << reversed.errors;
}

TEST(AbRunE2eTest, UnusableInputEndsWithStatusTwoAndSaysWhy) {
  EngineFolderCopy folder;
  folder.Write("cut.jsonl", R"({"record":"run","harness":"TestKVE","engine":{"path":"x"}})"
                            "\n{\"record\":\"pass\",\"wall\n");
  folder.Write("one.jsonl", R"({"record":"run","harness":"TestKVE","engine":{"path":"x"}})"
                            "\n");
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"cut.jsonl", "one.jsonl"}, "testkve-compare: cut.jsonl:2: not a record of the harness (a damaged line?)\n"},
      {{"one.jsonl"},
       "testkve-compare: one.jsonl holds the runs of one engine: give a second record to compare with\n"},
      {{"one.jsonl", "one.jsonl"}, "testkve-compare: no engine runs to compare on side A\n"},
      {{"missing.jsonl", "one.jsonl"}, "testkve-compare: cannot read missing.jsonl: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ProgramRun run = Compare(folder.path(), c.args);
    EXPECT_EQ(2, run.exit_code);
    EXPECT_TRUE(run.errors.starts_with(c.error)) << run.errors;
  }
  const ProgramRun gate = Compare(folder.path(), {"--fail-if", "speed>5%", "one.jsonl"});
  EXPECT_EQ(2, gate.exit_code);
  EXPECT_TRUE(gate.errors.starts_with("testkve-compare: --fail-if: \"speed\" is not one of")) << gate.errors;
  // The harness refuses a gate it cannot read, and /AB without a folder, before anything runs.
  for (const std::vector<std::string>& options : {std::vector<std::string>{"/AB=.", "/FAILIF=wall>5x"}, {"/AB"}}) {
    SCOPED_TRACE(options.back());
    const ProgramRun run = Harness(folder, options);
    EXPECT_EQ(2, run.exit_code);
    EXPECT_EQ("", run.output);
  }
}

TEST(AbRunE2eTest, InteractiveModeIgnoresAb) {
  EngineFolderCopy folder;
  const ProgramRun run =
      RunProgram(BuiltProgram("testkve"), {"/NH", "/INTERACT", "/AB=no-such-folder", "/FAILIF=wall>0"},
                 {folder.path(), "/EXECUTE /QUIT\n", {}});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  EXPECT_EQ("", LinesStartingWith(run.output, {"Side ", "Comparison"}));
  EXPECT_NE(std::string::npos, run.output.find("Launch KVE program\n"));
}

// A gate with nothing to gate is told, and counts for /STRICT as every other warning does.
TEST(AbRunE2eTest, FailIfOutsideAnAbRunDrawsAWarning) {
  EngineFolderCopy folder;
  const std::string warning =
      "testkve: warning: /FAILIF=wall>+5% gates only an /AB run of the stress passes; ignored\n";
  struct Case {
    std::vector<std::string> options;
    int exit_code;
    std::string errors;
  };
  const Case cases[] = {
      {{"/FAILIF=wall>+5%"}, 0, warning},
      {{"/FAILIF=wall>+5%", "/STRICT"}, 1, warning},
      {{"/FAILIF=wall>+5%", "/AB=.", "/INTERACT", "/STRICT"}, 1, warning},
      {{"/FAILIF=wall>+5%", "/AB=."}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.size());
    std::vector<std::string> options = c.options;
    options.push_back("/RUN=1");
    const ProgramRun run = Harness(folder, options);
    EXPECT_EQ(c.exit_code, run.exit_code) << run.errors;
    EXPECT_EQ(c.errors, LinesStartingWith(run.errors, {"testkve: warning"})) << run.errors;
  }
}

}  // namespace
