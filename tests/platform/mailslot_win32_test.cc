// Mailslots on Windows: whole messages in order, the system's refusals as classes of failure, a
// writer that never waits for the reader, and the run's own slots beside the design's names.
#include "platform/mailslot.h"

#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <gtest/gtest.h>
#include <psapi.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/wine.h"

namespace {

using platform::MailslotInfo;
using platform::MailslotServer;
using platform::MailslotWriter;

// A name of this test process alone, so parallel suites never meet.
std::string SlotName(const std::string& leaf) {
  return "\\\\.\\mailslot\\testkve_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         leaf;
}

std::vector<std::string> ReadAll(MailslotServer& server) {
  std::vector<std::string> messages;
  std::string message;
  while (server.Read(&message)) messages.push_back(message);
  return messages;
}

TEST(WindowsMailslotTest, MessagesArriveWholeAndInOrder) {
  platform::Error error;
  MailslotServer server = MailslotServer::Create(SlotName("order"), &error);
  ASSERT_TRUE(server.is_open()) << error.text;
  MailslotWriter writer = MailslotWriter::Open(SlotName("order"), &error);
  ASSERT_TRUE(writer.is_open()) << error.text;
  const std::string largest(platform::kMailslotMaxMessage, 'x');
  for (const std::string& message : {std::string("first"), std::string("second line\n"), largest}) {
    ASSERT_TRUE(writer.Write(message, &error)) << error.text;
  }
  MailslotInfo info;
  ASSERT_TRUE(server.Query(&info, &error));
  EXPECT_EQ(info.next_size, 5u);
  EXPECT_EQ(info.count, 3u);
  EXPECT_EQ(ReadAll(server), (std::vector<std::string>{"first", "second line\n", largest}));
  ASSERT_TRUE(server.Query(&info, &error));
  EXPECT_EQ(info.next_size, platform::kMailslotNoMessage);
  EXPECT_EQ(info.count, 0u);
}

TEST(WindowsMailslotTest, ALongerMessageIsRefusedWhole) {
  platform::Error error;
  MailslotServer server = MailslotServer::Create(SlotName("long"), &error);
  MailslotWriter writer = MailslotWriter::Open(SlotName("long"), &error);
  ASSERT_TRUE(writer.is_open()) << error.text;
  EXPECT_FALSE(writer.Write(std::string(platform::kMailslotMaxMessage + 1, 'x'), &error));
  EXPECT_EQ(error.kind, platform::ErrorKind::kTooLong);
  EXPECT_TRUE(ReadAll(server).empty());
}

TEST(WindowsMailslotTest, AnEmptyMessageIsAMessage) {
  SKIP_UNDER_WINE("a zero-length message is lost");
  platform::Error error;
  MailslotServer server = MailslotServer::Create(SlotName("empty"), &error);
  MailslotWriter writer = MailslotWriter::Open(SlotName("empty"), &error);
  ASSERT_TRUE(writer.Write("", &error));
  ASSERT_TRUE(writer.Write("after", &error));
  EXPECT_EQ(ReadAll(server), (std::vector<std::string>{"", "after"}));
}

TEST(WindowsMailslotTest, RefusalsAreClassesOfFailure) {
  platform::Error error;
  MailslotServer server = MailslotServer::Create(SlotName("taken"), &error);
  ASSERT_TRUE(server.is_open());
  EXPECT_FALSE(MailslotServer::Create(SlotName("taken"), &error).is_open());
  EXPECT_EQ(error.kind, platform::ErrorKind::kExists);
  EXPECT_FALSE(MailslotWriter::Open(SlotName("nobody"), &error).is_open());
  EXPECT_EQ(error.kind, platform::ErrorKind::kNotFound);
  for (const char* name : {"", "\\\\.\\mailslot\\", "\\\\.\\mailslot\\.hidden", "\\\\.\\mailslot\\a/b",
                           "\\\\.\\mailslot\\a\\b", "\\\\.\\pipe\\x", "mailslot"}) {
    error = {};
    EXPECT_FALSE(MailslotServer::Create(name, &error).is_open()) << name;
    EXPECT_EQ(error.kind, platform::ErrorKind::kInvalid) << name;
    EXPECT_FALSE(MailslotWriter::Open(name, &error).is_open()) << name;
    EXPECT_EQ(error.kind, platform::ErrorKind::kInvalid) << name;
  }
  server.Close();
  EXPECT_FALSE(MailslotWriter::Open(SlotName("taken"), &error).is_open());
  EXPECT_EQ(error.kind, platform::ErrorKind::kNotFound);
}

// Under Wine a writer waits once about 278 messages lie unread: the server's own collecting
// keeps the slot empty while nothing reads it, so an engine never stalls.
TEST(WindowsMailslotTest, AWriterNeverWaitsForTheReader) {
  platform::Error error;
  MailslotServer server = MailslotServer::Create(SlotName("many"), &error);
  MailslotWriter writer = MailslotWriter::Open(SlotName("many"), &error);
  ASSERT_TRUE(writer.is_open()) << error.text;
  constexpr int kMessages = 2000;
  for (int i = 0; i < kMessages; ++i) ASSERT_TRUE(writer.Write("message " + std::to_string(i), &error)) << i;
  std::vector<std::string> messages = ReadAll(server);
  ASSERT_EQ(messages.size(), static_cast<size_t>(kMessages));
  EXPECT_EQ(messages.front(), "message 0");
  EXPECT_EQ(messages.back(), "message " + std::to_string(kMessages - 1));
}

// The memory of this process in use, in bytes (its working set: Wine reports no private bytes).
size_t MemoryInUse() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.WorkingSetSize;
}

// What the server has collected waits in a temporary file: a backlog of 32 MiB leaves the
// process's memory as it was, and every message comes back whole and in order.
TEST(WindowsMailslotTest, ABacklogWaitsOutsideMemory) {
  platform::Error error;
  MailslotServer server = MailslotServer::Create(SlotName("backlog"), &error);
  MailslotWriter writer = MailslotWriter::Open(SlotName("backlog"), &error);
  ASSERT_TRUE(writer.is_open()) << error.text;
  constexpr int kMessages = 512;
  std::string message(platform::kMailslotMaxMessage, ' ');
  const size_t before = MemoryInUse();
  ASSERT_GT(before, 0u) << "the system reports no memory in use";
  for (int i = 0; i < kMessages; ++i) {
    message.replace(0, 8, std::to_string(10'000'000 + i));
    ASSERT_TRUE(writer.Write(message, &error)) << i << ": " << error.text;
  }
  MailslotInfo info;
  ASSERT_TRUE(server.Query(&info, &error));
  ASSERT_EQ(info.count, static_cast<uint32_t>(kMessages));
  EXPECT_LT(MemoryInUse(), before + 8 * 1024 * 1024);
  for (int i = 0; i < kMessages; ++i) {
    ASSERT_TRUE(server.Read(&message)) << i;
    ASSERT_EQ(message.size(), platform::kMailslotMaxMessage);
    ASSERT_EQ(message.substr(0, 8), std::to_string(10'000'000 + i));
  }
  EXPECT_FALSE(server.Read(&message));
}

// Another run serves the design's name: this run serves its own slot, which the engines it
// starts are told of, and the other run's messages never reach it.
TEST(WindowsMailslotTest, ARunServesItsOwnSlotBesideAnother) {
  platform::Error error;
  MailslotServer other_run = MailslotServer::Create(SlotName("shared"), &error);
  ASSERT_TRUE(other_run.is_open());
  MailslotServer own = MailslotServer::CreateForRun(SlotName("shared"), &error);
  ASSERT_TRUE(own.is_open()) << error.text;
  ASSERT_FALSE(platform::RunMailslotFolder().empty());
  MailslotWriter to_run = MailslotWriter::OpenIn(platform::RunMailslotFolder(), SlotName("shared"), &error);
  ASSERT_TRUE(to_run.is_open()) << error.text;
  MailslotWriter to_name = MailslotWriter::Open(SlotName("shared"), &error);
  ASSERT_TRUE(to_run.Write("ours", &error));
  ASSERT_TRUE(to_name.Write("theirs", &error));
  EXPECT_EQ(ReadAll(own), std::vector<std::string>{"ours"});
  EXPECT_EQ(ReadAll(other_run), std::vector<std::string>{"theirs"});
}

// With the design's name free, the run serves it too: an engine that does not read the run's
// folder still reaches it.
TEST(WindowsMailslotTest, ARunServesTheDesignsNameWhenFree) {
  platform::Error error;
  MailslotServer own = MailslotServer::CreateForRun(SlotName("free"), &error);
  ASSERT_TRUE(own.is_open()) << error.text;
  MailslotWriter to_name = MailslotWriter::Open(SlotName("free"), &error);
  ASSERT_TRUE(to_name.is_open()) << error.text;
  ASSERT_TRUE(to_name.Write("plain engine", &error));
  EXPECT_EQ(ReadAll(own), std::vector<std::string>{"plain engine"});
  // A slot lives while any handle to it is open, a writer's too.
  to_name.Close();
  own.Close();
  EXPECT_FALSE(MailslotWriter::Open(SlotName("free"), &error).is_open());
}

// What an engine accepts from TESTKVE_MAILSLOT_FOLDER as a run's folder of slots.
TEST(WindowsMailslotTest, OnlyANameUnderTheMailslotRootNamesARunFolder) {
  EXPECT_TRUE(platform::NamesMailslotFolder("\\\\.\\mailslot\\testkve\\run-42"));
  EXPECT_TRUE(platform::NamesMailslotFolder("\\\\.\\MAILSLOT\\testkve\\run-42"));
  for (const char* other : {"", "\\\\.\\mailslot\\", "/run/user/1000/testkve", "C:\\slots", "mailslot"}) {
    EXPECT_FALSE(platform::NamesMailslotFolder(other)) << other;
  }
}

}  // namespace
