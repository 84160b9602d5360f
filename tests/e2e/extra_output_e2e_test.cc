// The engine talks back: /DLL prints what the engine sent over the extra-output mailslot after
// each run, /PL lists its pattern names; against the reference engine, in a runtime folder of
// each test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/background_program.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using Environment = std::map<std::string, std::string>;

constexpr char kHead[] = "Set VXR.exe file path: .\nSet VXR.exe file name: vxr.exe\n";

class ExtraOutputE2eTest : public ::testing::Test {
 protected:
  ProgramRun Harness(const std::vector<std::string>& options, Environment environment = {},
                     const std::string& input = "") const {
    return RunWith(BuiltProgram("testkve"), options, std::move(environment), input);
  }

  // Runs `program` (testkve, or a program that becomes it) with "/NH" and `options`.
  ProgramRun RunWith(const std::string& program, const std::vector<std::string>& options, Environment environment,
                     const std::string& input = "") const {
    std::vector<std::string> args = {"/NH"};
    args.insert(args.end(), options.begin(), options.end());
    environment["XDG_RUNTIME_DIR"] = runtime_.str();
    return RunProgram(program, args, {engine_.path(), input, std::move(environment)});
  }

  // What the engine says reached the mailslots, one line per slot it tried.
  std::vector<std::string> EngineSent() const { return ReadLines(engine_.path() / "report" / "mailslots.txt"); }

  std::filesystem::path SlotFolder() const { return runtime_.path() / "testkve" / "mailslot"; }

  // The slots left behind in the runtime folder.
  std::vector<std::string> LeftSlots() const {
    std::vector<std::string> names;
    if (!std::filesystem::exists(SlotFolder())) return names;
    for (const auto& entry : std::filesystem::directory_iterator(SlotFolder()))
      names.push_back(entry.path().filename().string());
    return names;
  }

  EngineFolderCopy engine_;
  TempFolder runtime_;
};

std::string EngineLines(const char* mode, int messages) {
  std::string lines = std::string("vxr_ref start: ") + mode + "\n";
  for (int n = 1; n <= messages; ++n)
    lines += "message " + std::to_string(n) + " of " + std::to_string(messages) + "\n";
  return lines + "vxr_ref end: " + mode + "\n";
}

TEST_F(ExtraOutputE2eTest, EachPassPrintsTheEngineMessagesAfterItsLaunch) {
  ProgramRun run = Harness({"/DLL", "/RUN=2"}, {{"VXR_REF_MESSAGES", "2"}});
  EXPECT_EQ(0, run.exit_code);
  const std::string pass = "Launch KVE program\n" + EngineLines("SCAN_ALL_WITH_CLEAN", 2);
  EXPECT_EQ(std::string(kHead) + "Run stress: 1 round\n" + pass + "Run stress: 2 round\n" + pass, run.output);
  EXPECT_EQ("", run.errors);
  EXPECT_EQ(std::vector<std::string>{"\\\\.\\mailslot\\ExtraOutput: 4 sent"}, EngineSent());
  EXPECT_TRUE(LeftSlots().empty());
}

TEST_F(ExtraOutputE2eTest, MessagesNameTheExecuteMode) {
  ProgramRun run = Harness({"/DLL", "/NC"});
  EXPECT_EQ(std::string(kHead) + "Run stress: 1 round\nLaunch KVE program\n" + EngineLines("SCAN_ALL_WITHOUT_CLEAN", 0),
            run.output);
}

TEST_F(ExtraOutputE2eTest, SilentEngineLeavesNothing) {
  ProgramRun run = Harness({"/DLL"}, {{"VXR_REF_NO_MESSAGES", "1"}});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(std::string(kHead) + "Run stress: 1 round\nLaunch KVE program\n", run.output);
  EXPECT_TRUE(std::filesystem::exists(SlotFolder()));
  EXPECT_TRUE(LeftSlots().empty());
}

TEST_F(ExtraOutputE2eTest, WithoutTheOptionTheEngineFindsNoSlot) {
  // The module named through VXR.INI alone: the engine tries, finds no harness, says so.
  std::filesystem::path ini = engine_.path() / "VXR.INI";
  std::string text = ReadFile(ini);
  text.replace(text.find("ExtraOutputs="), 13, "ExtraOutputs=KVPExtOutput.DLL");
  engine_.Write("VXR.INI", text);
  ProgramRun run = Harness({});
  EXPECT_EQ(std::string(kHead) + "Run stress: 1 round\nLaunch KVE program\n", run.output);
  EXPECT_EQ("", run.errors);
  EXPECT_EQ(std::vector<std::string>{"cannot open \\\\.\\mailslot\\ExtraOutput: no harness serves it"}, EngineSent());
}

TEST_F(ExtraOutputE2eTest, HundredThousandMessagesArriveInOrder) {
  ProgramRun run = Harness({"/DLL"}, {{"VXR_REF_MESSAGES", "100000"}});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ("", run.errors);
  EXPECT_TRUE(run.output == std::string(kHead) + "Run stress: 1 round\nLaunch KVE program\n" +
                                EngineLines("SCAN_ALL_WITH_CLEAN", 100000))
      << run.output.size() << " bytes of output";
}

TEST_F(ExtraOutputE2eTest, LongMessagesArriveWhole) {
  for (const char* bytes : {"1023", "1024", "1025", "5000", "65536"}) {
    SCOPED_TRACE(bytes);
    ProgramRun run = Harness({"/DLL"}, {{"VXR_REF_MESSAGES", "1"}, {"VXR_REF_MESSAGE_BYTES", bytes}});
    std::string message = "message 1 of 1";
    message += std::string(std::stoul(bytes) - message.size() - 1, '.') + "\n";
    EXPECT_EQ(std::string(kHead) +
                  "Run stress: 1 round\nLaunch KVE program\n"
                  "vxr_ref start: SCAN_ALL_WITH_CLEAN\n" +
                  message + "vxr_ref end: SCAN_ALL_WITH_CLEAN\n",
              run.output);
  }
}

// Under a file-size limit the engine's third message is cut short in the spool and the engine
// dies of SIGXFSZ writing the fourth: the two before it arrive whole, the cut one never shows.
TEST_F(ExtraOutputE2eTest, EngineKilledInTheMiddleOfAMessage) {
  std::vector<std::string> args = {"--fsize=50000", BuiltProgram("testkve"), "/NH", "/DLL"};
  ProgramRun run = RunProgram(
      "/usr/bin/prlimit", args,
      {engine_.path(),
       "",
       {{"XDG_RUNTIME_DIR", runtime_.str()}, {"VXR_REF_MESSAGES", "5"}, {"VXR_REF_MESSAGE_BYTES", "20000"}}});
  EXPECT_EQ(0, run.exit_code);
  std::string message(20000, '.');
  auto numbered = [&](int n) {
    std::string text = "message " + std::to_string(n) + " of 5";
    return text + message.substr(text.size() + 1) + "\n";
  };
  EXPECT_EQ(std::string(kHead) +
                "Run stress: 1 round\nLaunch KVE program\n"
                "Error Code: 0xc0000019\n"
                "vxr_ref start: SCAN_ALL_WITH_CLEAN\n" +
                numbered(1) + numbered(2),
            run.output);
  EXPECT_TRUE(LeftSlots().empty());
}

// "Pattern List(n): name" for every name of the bundled vxr.ptn, counting down to 1.
std::string PatternListLines() {
  std::vector<std::string> names =
      ReadLines(std::filesystem::path(TESTKVE_SOURCE_DIR) / "tools/engine_folder/vxr_names.txt");
  std::string lines;
  for (size_t i = 0; i < names.size(); ++i)
    lines += "Pattern List(" + std::to_string(names.size() - i) + "): " + names[i] + "\n";
  return lines;
}

TEST_F(ExtraOutputE2eTest, PatternListPrintsTheEngineNamesCountingDown) {
  ProgramRun run = Harness({"/PL"});
  EXPECT_EQ(0, run.exit_code);
  ASSERT_EQ(1u, CountOf(PatternListLines(), "Pattern List(1): "));
  EXPECT_EQ(std::string(kHead) +
                "Run stress: 1 round\nEnable Pattern List Mode\n"
                "Launch KVE program\n" +
                PatternListLines(),
            run.output);
  EXPECT_EQ((std::vector<std::string>{"\\\\.\\mailslot\\ExtraPatternName: " +
                                          std::to_string(CountOf(PatternListLines(), "Pattern List(")) + " sent",
                                      "cannot open \\\\.\\mailslot\\ExtraOutput: no harness serves it"}),
            EngineSent());
  EXPECT_TRUE(LeftSlots().empty());
}

// Pattern list mode ends the process: no later handler, no further pass, no extra output.
TEST_F(ExtraOutputE2eTest, PatternListEndsTheProcessWithoutDrainingExtraOutput) {
  ProgramRun run = Harness({"/PL", "/DLL", "/BL", "/RUN=3"}, {{"VXR_REF_MESSAGES", "2"}});
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(std::string(kHead) +
                "Run stress: 1 round\nEnable Pattern List Mode\n"
                "Launch KVE program\n" +
                PatternListLines(),
            run.output);
  EXPECT_TRUE(LeftSlots().empty());
}

// Two runs of one user at once: the second serves slots of its own instead of failing, and each
// prints exactly what its own engine sent. Each runs in an engine folder of its own, since the
// reference engine runs once per report folder at a time.
TEST_F(ExtraOutputE2eTest, TwoRunsAtOnceEachPrintTheirOwnEnginesMessages) {
  // The first engine keeps running until the second harness has ended.
  const std::filesystem::path hold = runtime_.Write("hold", "");
  ProgramRun first;
  std::thread holder([&] { first = Harness({"/PL", "/DLL"}, {{"VXR_REF_HOLD_FILE", hold.string()}}); });
  // The first holds both slots under their names from its option handlers until it ends.
  const bool held = WaitFor(kEventBoundSeconds, [&] {
    return std::filesystem::exists(SlotFolder() / "extrapatternname") &&
           std::filesystem::exists(SlotFolder() / "extraoutput");
  });
  const EngineFolderCopy other_engine;
  ProgramRun second = RunProgram(BuiltProgram("testkve"), {"/NH", "/PL", "/PTN=qlakve.ptn"},
                                 {other_engine.path(), "", {{"XDG_RUNTIME_DIR", runtime_.str()}}});
  std::filesystem::remove(hold);
  holder.join();
  ASSERT_TRUE(held);
  EXPECT_EQ(0, second.exit_code);
  std::vector<std::string> other_names =
      ReadLines(std::filesystem::path(TESTKVE_SOURCE_DIR) / "tools/engine_folder/qlakve_names.txt");
  ASSERT_FALSE(other_names.empty());
  EXPECT_EQ(0u, CountOf(second.output, "Open Mailsoilt2 Fail!!"));
  EXPECT_EQ(1u, CountOf(second.output,
                        "Pattern List(" + std::to_string(other_names.size()) + "): " + other_names.front() + "\n"))
      << second.output;
  EXPECT_EQ(other_names.size(), CountOf(second.output, "Pattern List("));
  EXPECT_EQ(0, first.exit_code);
  EXPECT_EQ(std::string(kHead) +
                "Run stress: 1 round\nEnable Pattern List Mode\n"
                "Launch KVE program\n" +
                PatternListLines(),
            first.output);
  EXPECT_TRUE(LeftSlots().empty());
}

// Eight harnesses of one user started at once, round after round: each makes its own run
// folder, however their starts and sweeps of dead folders interleave, and prints exactly its
// own engine's messages (harness k's engine sends k of them).
TEST_F(ExtraOutputE2eTest, HarnessesStartedTogetherEachPrintOnlyTheirOwnMessages) {
  constexpr int kHarnesses = 8;
  constexpr int kRounds = 25;
  std::vector<EngineFolderCopy> engines(kHarnesses);
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<std::unique_ptr<BackgroundProgram>> harnesses;
    for (int k = 1; k <= kHarnesses; ++k) {
      harnesses.push_back(std::make_unique<BackgroundProgram>(
          BuiltProgram("testkve"), std::vector<std::string>{"/NH", "/DLL"}, engines[k - 1].path(),
          Environment{{"XDG_RUNTIME_DIR", runtime_.str()}, {"VXR_REF_MESSAGES", std::to_string(k)}}));
    }
    for (int k = 1; k <= kHarnesses; ++k) {
      const ProgramRun run = harnesses[k - 1]->Wait();
      EXPECT_EQ(0, run.exit_code);
      EXPECT_EQ("", run.errors);
      EXPECT_EQ(
          std::string(kHead) + "Run stress: 1 round\nLaunch KVE program\n" + EngineLines("SCAN_ALL_WITH_CLEAN", k),
          run.output);
    }
    EXPECT_TRUE(LeftSlots().empty());
  }
}

TEST_F(ExtraOutputE2eTest, SecondInteractiveDllKeepsTheFirstSlot) {
  ProgramRun run = Harness({"/INTERACT"}, {{"VXR_REF_MESSAGES", "3"}}, "/DLL\n/DLL\n/EXECUTE\n/QUIT\n");
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(std::string(kHead) +
                "Enable Interactive Mode...\nTestKVE> TestKVE> TestKVE> "
                "Launch KVE program\nTestKVE> ",
            run.output);
  // The engine reached the first slot.
  EXPECT_EQ("", run.errors);
  EXPECT_EQ(std::vector<std::string>{"\\\\.\\mailslot\\ExtraOutput: 5 sent"}, EngineSent());
  EXPECT_TRUE(LeftSlots().empty());
}

}  // namespace
