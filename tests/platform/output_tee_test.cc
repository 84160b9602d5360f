// A child's output and error through an OutputTee: every byte reaches the sink, and the tee
// finishes when the child has ended even while a write end is still held open.
#include "platform/output_tee.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/open_file.h"
#include "platform/process.h"
#include "support/build_paths.h"

namespace {

using platform::OutputStream;

TEST(OutputTeeTest, FinishTakesWhatTheChildWroteWhileItsWriteEndsAreStillHeld) {
  std::string output, error;
  std::unique_ptr<platform::OutputTee> tee =
      platform::OutputTee::Start(false, [&](OutputStream stream, std::string_view bytes) {
        (stream == OutputStream::kOutput ? output : error).append(bytes);
      });
  ASSERT_TRUE(tee);
  // The reference engine without a settings block says so on standard error and ends.
  const std::string engine = BuiltProgram("vxr_ref");
  const platform::OpenFile file = platform::OpenFile::Open(engine.c_str());
  ASSERT_TRUE(file.is_open());
  const platform::ChildOutputs outputs = tee->child_outputs();
  const std::vector<std::string> argv = {engine};
  platform::ChildProcess child =
      platform::ChildProcess::SpawnOpenFile(file, argv, platform::ConsoleMode::kShared, &outputs);
  ASSERT_TRUE(child.started());
  const platform::ProcessOutcome outcome = child.Wait();
  EXPECT_EQ(platform::ProcessOutcome::Kind::kExited, outcome.kind);
  // This process still holds the write ends, as a process the child left running would: the
  // pipes never end, and Finish must not wait for them to.
  tee->Finish();
  EXPECT_EQ("", output);
  EXPECT_EQ(0u, error.find("vxr_ref: ")) << error;
  EXPECT_NE(std::string::npos, error.find("usage: vxr_ref")) << error;
}

TEST(OutputTeeTest, ATeeThatNoChildUsedFinishesAtOnce) {
  size_t pieces = 0;
  std::unique_ptr<platform::OutputTee> tee =
      platform::OutputTee::Start(true, [&](OutputStream, std::string_view) { ++pieces; });
  ASSERT_TRUE(tee);
  tee->CloseChildEnds();
  tee->Finish();
  tee->Finish();  // a second time does nothing
  EXPECT_EQ(0u, pieces);
}

}  // namespace
