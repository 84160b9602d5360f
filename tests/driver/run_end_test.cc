// Handlers and the driver end the run by telling their caller, never by ending the process.
// Each step first runs in a child whose exit code carries its answer, so a step that ended the
// process itself (exit code 0) fails the case instead of passing it quietly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "TestKVE/driver.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/engine_client.h"
#include "TestKVE/harness.h"
#include "TestKVE/option_handlers.h"
#include "TestKVE/usage.h"
#include "command_text/command_line.h"

namespace {

constexpr int kGoesOn = 10;
constexpr int kEnds = 11;
constexpr int kReturned = 12;

[[noreturn]] void ExitWithAnswer(const std::function<RunFlow()>& step) {
  std::_Exit(step() == RunFlow::kEndRun ? kEnds : kGoesOn);
}

enum class Step { kUsage, kOptions };

struct HandlerCase {
  Step step;
  const char* line;
  int32_t interactive;  // the state's InteractiveMode
  int answer;           // kEnds or kGoesOn
  const char* printed;  // a line the step must print; empty: it prints nothing
};

const HandlerCase kHandlerCases[] = {
    {Step::kUsage, "/?", 0, kEnds, "   /VER                   Show KVE and Patterns version\n"},
    {Step::kUsage, "/?", 1, kGoesOn, "   /VER                   Show KVE and Patterns version\n"},
    {Step::kUsage, "/VER", 0, kGoesOn, ""},
    // No library is initialised here, so the version query fails and says so.
    {Step::kOptions, "/GC /VER", 0, kEnds, "Get KVE Version Error: "},
    {Step::kOptions, "/GC /VER", 1, kGoesOn, "Get KVE Version Error: "},
    {Step::kOptions, "/GC", 0, kGoesOn, "Enable Generic Clean\n"},
};

RunFlow RunStep(Step step, const CommandLine& line, Harness& harness) {
  if (step == Step::kUsage) return PrintUsage(line, harness.state);
  EngineClient client;
  client.set_debug(1);
  return ApplyOptions(client, line, harness);
}

TEST(RunEndTest, HandlersAnswerWhetherTheRunEnds) {
  for (const HandlerCase& c : kHandlerCases) {
    SCOPED_TRACE(std::string(c.line) + (c.interactive ? " (interactive)" : ""));
    CommandLine line(c.line);
    Harness harness;
    harness.state.InteractiveMode = c.interactive;
    ASSERT_EXIT(ExitWithAnswer([&] { return RunStep(c.step, line, harness); }), testing::ExitedWithCode(c.answer), "");
    testing::internal::CaptureStdout();
    (void)RunStep(c.step, line, harness);
    std::string out = testing::internal::GetCapturedStdout();
    if (*c.printed == '\0')
      EXPECT_EQ("", out);
    else
      EXPECT_NE(std::string::npos, out.find(c.printed)) << out;
    // Quitting the client is its owner's step, after the handler has answered.
    EXPECT_EQ(std::string::npos, out.find("VXRQuitLib")) << out;
  }
}

TEST(RunEndTest, TheDriverReturnsWhereTheRunEnds) {
  const char* const lines[] = {
      "testkve /NH /?",
      "testkve /NH /VER /RUN=3 /VXRPATH=/nonexistent/engine",
      "testkve /NH /RUN=0",
  };
  for (const char* text : lines) {
    SCOPED_TRACE(text);
    ASSERT_EXIT((RunTestKVE(text), std::_Exit(kReturned)), testing::ExitedWithCode(kReturned), "");
  }
  // /VER ends the run in its first pass.
  testing::internal::CaptureStdout();
  RunTestKVE(lines[1]);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("Run stress: 1 round\n")) << out;
  EXPECT_EQ(std::string::npos, out.find("Run stress: 2 round\n")) << out;
}

}  // namespace
