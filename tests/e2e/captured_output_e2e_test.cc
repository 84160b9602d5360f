// /CAPTURE on the built testkve against the reference engine: the engine's own output of a
// failed pass lands in the JSON record, the JUnit report and the page, that of a passing pass
// nowhere, a flood keeps its last 64 KiB, and the console shows exactly what it showed before.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "harness_run.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Environment = std::map<std::string, std::string>;

// Pass 1 succeeds, pass 2 fails with 0x3; both say something on each stream.
const Environment kSecondPassFails = {{"VXR_REF_SAY", "said <&> \xff"}, {"VXR_REF_EXITS", "0,3"}};

TEST(CapturedOutputE2eTest, AFailedPassKeepsTheEngineOutputInEveryRecordAndAPassingPassInNone) {
  EngineFolderCopy folder;
  const ProgramRun run = Harness(
      folder, {"/RUN=2", "/CAPTURE", "/JSON=run.jsonl", "/JUNIT=run.xml", "/REPORT=run.html"}, kSecondPassFails);
  EXPECT_EQ(0, run.exit_code) << run.errors;
  // JSON: inline, every byte as it was (a byte that is not UTF-8 as its surrogate escape).
  EXPECT_EQ("1 None None None None\n2 'said <&> \\udcff\\n' 11 'said <&> \\udcff on stderr\\n' 21\n",
            Python(R"(
import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    if r["record"] == "pass":
        print(r["pass"], repr(r.get("stdout")), r.get("stdout_bytes"), repr(r.get("stderr")), r.get("stderr_bytes"))
)",
                   folder.path() / "run.jsonl"));
  // JUnit: beside the failure of pass 2 only, as a JUnit reader parses it.
  EXPECT_EQ("pass 1 None None\npass 2 'said <&> \\\\xFF\\n' 'said <&> \\\\xFF on stderr\\n'\n",
            Python(R"(
import sys, xml.etree.ElementTree as et
for case in et.parse(sys.argv[1]).iter("testcase"):
    out, err = case.find("system-out"), case.find("system-err")
    print(case.get("name"), repr(out.text) if out is not None else None, repr(err.text) if err is not None else None)
)",
                   folder.path() / "run.xml"));
  // The page: in the failure table, escaped as the page escapes everything.
  const std::string page = ReadFile(folder.path() / "run.html");
  EXPECT_EQ(1u, CountOf(page, "<pre>said &lt;&amp;&gt; \\xFF\n</pre>")) << page;
  EXPECT_EQ(1u, CountOf(page, "<pre>said &lt;&amp;&gt; \\xFF on stderr\n</pre>"));
  EXPECT_EQ(1u, CountOf(page, "<th>Engine output</th>"));
}

TEST(CapturedOutputE2eTest, TheConsoleShowsTheSameBytesWithAndWithoutCapture) {
  EngineFolderCopy plain_folder, captured_folder;
  const ProgramRun plain = Harness(plain_folder, {"/RUN=2", "/JSON=run.jsonl"}, kSecondPassFails);
  const ProgramRun captured = Harness(captured_folder, {"/RUN=2", "/JSON=run.jsonl", "/CAPTURE"}, kSecondPassFails);
  EXPECT_EQ(plain.output, captured.output);
  EXPECT_EQ(plain.errors, captured.errors);
  EXPECT_EQ(1u, CountOf(captured.output, "Launch KVE program\nsaid <&> \xff\nError Code: 0x3\n")) << captured.output;
  EXPECT_EQ(2u, CountOf(captured.errors, "said <&> \xff on stderr\n")) << captured.errors;
}

TEST(CapturedOutputE2eTest, AFloodKeepsItsLast64KiBAndStillReachesTheConsoleWhole) {
  EngineFolderCopy folder;
  const ProgramRun run = Harness(folder, {"/CAPTURE", "/JSON=run.jsonl"},
                                 {{"VXR_REF_SAY", "flood"}, {"VXR_REF_SAY_LINES", "20000"}, {"VXR_REF_EXIT", "5"}});
  EXPECT_EQ(0, run.exit_code) << run.errors;
  std::string flood, errors;
  for (int line = 1; line <= 20000; ++line) {
    flood += std::to_string(line) + " flood\n";
    errors += std::to_string(line) + " flood on stderr\n";
  }
  EXPECT_EQ(1u, CountOf(run.output, "Launch KVE program\n" + flood + "Error Code: 0x5\n"));
  EXPECT_EQ(errors, run.errors);
  EXPECT_EQ("65536 True " + std::to_string(flood.size()) + " 65536 True " + std::to_string(errors.size()) + "\n",
            Python(R"(
import json, sys
flood = "".join(f"{i} flood\n" for i in range(1, 20001))
errors = "".join(f"{i} flood on stderr\n" for i in range(1, 20001))
for line in open(sys.argv[1]):
    r = json.loads(line)
    if r["record"] == "pass":
        print(len(r["stdout"]), r["stdout"] == flood[-65536:], r["stdout_bytes"],
              len(r["stderr"]), r["stderr"] == errors[-65536:], r["stderr_bytes"])
)",
                   folder.path() / "run.jsonl"));
}

TEST(CapturedOutputE2eTest, CaptureWithoutARecordDrawsAWarning) {
  EngineFolderCopy folder;
  for (const bool strict : {false, true}) {
    SCOPED_TRACE(strict);
    std::vector<std::string> options = {"/CAPTURE"};
    if (strict) options.push_back("/STRICT");
    const ProgramRun run = Harness(folder, options, {{"VXR_REF_SAY", "hi"}});
    EXPECT_EQ(strict ? 1 : 0, run.exit_code);
    EXPECT_EQ(
        "testkve: warning: /CAPTURE keeps the engine's output for /JSON, /JUNIT or /REPORT, and none is given; "
        "ignored\nhi on stderr\n",
        run.errors);
  }
}

}  // namespace
