#include "platform/mailslot.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/mailslot_record.h"
#include "platform/posix/mailslot_folder.h"
#include "support/temp_folder.h"
#include "support/unprivileged.h"

namespace {

using platform::kMailslotMaxMessage;
using platform::kMailslotNoMessage;
using platform::MailslotInfo;
using platform::MailslotServer;
using platform::MailslotWriter;

constexpr char kSlot[] = "\\\\.\\mailslot\\UnitSlot";

// Every test gets a runtime folder of its own, so slots of parallel tests never meet.
class MailslotTest : public ::testing::Test {
 protected:
  MailslotTest() {
    std::filesystem::permissions(runtime_.path(), std::filesystem::perms(0755));
    setenv("XDG_RUNTIME_DIR", runtime_.str().c_str(), 1);
  }

  static MailslotServer Serve(const char* name = kSlot) {
    platform::Error error;
    MailslotServer server = MailslotServer::Create(name, &error);
    EXPECT_TRUE(server.is_open()) << name << ": " << error.text;
    return server;
  }

  static void Send(std::string_view message, const char* name = kSlot) {
    platform::Error error;
    MailslotWriter writer = MailslotWriter::Open(name, &error);
    ASSERT_TRUE(writer.is_open()) << error.text;
    ASSERT_TRUE(writer.Write(message, &error)) << error.text;
  }

  static MailslotInfo Info(MailslotServer& server) {
    MailslotInfo info;
    platform::Error error;
    EXPECT_TRUE(server.Query(&info, &error)) << error.text;
    return info;
  }

  static std::vector<std::string> ReadAll(MailslotServer& server) {
    std::vector<std::string> messages;
    for (std::string message; server.Read(&message);) messages.push_back(message);
    return messages;
  }

  static std::filesystem::path SpoolOf(const char* file) { return platform::MailslotFolder() / file; }

  static void AppendRaw(const std::string& bytes) {
    std::ofstream(SpoolOf("unitslot"), std::ios::binary | std::ios::app) << bytes;
  }

  static platform::ErrorKind WriterError(const char* name) {
    platform::Error error;
    EXPECT_FALSE(MailslotWriter::Open(name, &error).is_open()) << name;
    return error.kind;
  }

  TempFolder runtime_;
};

// Runs `body` in a child process and returns its exit status, or 128 + the signal.
int InChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(MailslotTest, KeepsBoundariesOrderAndExactSizes) {
  MailslotServer server = Serve();
  const std::vector<std::string> messages = {"first\n",
                                             "",
                                             std::string(1023, 'a'),
                                             std::string(1024, 'b'),
                                             std::string(5000, 'c'),
                                             std::string("zero\0inside", 11),
                                             std::string(kMailslotMaxMessage, 'd')};
  for (const std::string& message : messages) Send(message);
  for (size_t i = 0; i < messages.size(); ++i) {
    SCOPED_TRACE(i);
    MailslotInfo info = Info(server);
    EXPECT_EQ(messages.size() - i, info.count);
    EXPECT_EQ(messages[i].size(), info.next_size);
    std::string message;
    ASSERT_TRUE(server.Read(&message));
    EXPECT_EQ(messages[i], message);
  }
  MailslotInfo empty = Info(server);
  EXPECT_EQ(0u, empty.count);
  EXPECT_EQ(kMailslotNoMessage, empty.next_size);
}

TEST_F(MailslotTest, RefusesBadNamesAndLongMessages) {
  const char* bad_names[] = {"",
                             "UnitSlot",
                             "\\\\.\\mailslot\\",
                             "\\\\.\\mailslot\\a/b",
                             "\\\\.\\mailslot\\a\\b",
                             "\\\\.\\mailslot\\.hidden",
                             "\\\\server\\mailslot\\UnitSlot",
                             "\\\\.\\pipe\\UnitSlot"};
  for (const char* name : bad_names) {
    SCOPED_TRACE(name);
    platform::Error error;
    EXPECT_FALSE(MailslotServer::Create(name, &error).is_open());
    EXPECT_EQ(platform::ErrorKind::kInvalid, error.kind);
    EXPECT_EQ(platform::ErrorKind::kInvalid, WriterError(name));
  }
  MailslotServer server = Serve();
  platform::Error error;
  MailslotWriter writer = MailslotWriter::Open(kSlot, &error);
  EXPECT_FALSE(writer.Write(std::string(kMailslotMaxMessage + 1, 'x'), &error));
  EXPECT_EQ(platform::ErrorKind::kTooLong, error.kind);
  EXPECT_EQ(0u, Info(server).count);
}

// What an engine accepts from TESTKVE_MAILSLOT_FOLDER as a run's folder of slots.
TEST(MailslotFolderTest, OnlyAnAbsolutePathNamesARunFolder) {
  EXPECT_TRUE(platform::NamesMailslotFolder("/run/user/1000/testkve/run-42-abc"));
  for (const char* other : {"", "run-42", "./run-42", "\\\\.\\mailslot\\testkve"}) {
    EXPECT_FALSE(platform::NamesMailslotFolder(other)) << other;
  }
}

TEST_F(MailslotTest, NamesMatchWithoutRegardToCase) {
  MailslotServer server = Serve("\\\\.\\MailSlot\\UnitSlot");
  Send("hello", "\\\\.\\MAILSLOT\\unitSLOT");
  EXPECT_EQ(std::vector<std::string>{"hello"}, ReadAll(server));
}

TEST_F(MailslotTest, OneLiveServerPerName) {
  MailslotServer first = Serve();
  platform::Error error;
  EXPECT_FALSE(MailslotServer::Create(kSlot, &error).is_open());
  EXPECT_EQ(platform::ErrorKind::kExists, error.kind);
  Send("still the first's");
  EXPECT_EQ(std::vector<std::string>{"still the first's"}, ReadAll(first));
  // A server in another process counts as well.
  EXPECT_EQ(0, InChild([] {
              platform::Error child_error;
              bool refused = !MailslotServer::Create(kSlot, &child_error).is_open();
              return refused && child_error.kind == platform::ErrorKind::kExists ? 0 : 1;
            }));
  first.Close();
  EXPECT_TRUE(Serve().is_open());
}

TEST_F(MailslotTest, WriterNeedsALiveServer) {
  EXPECT_EQ(platform::ErrorKind::kNotFound, WriterError(kSlot));
  MailslotServer server = Serve();
  Send("unread");
  server.Close();
  EXPECT_EQ(platform::ErrorKind::kNotFound, WriterError(kSlot));
  EXPECT_FALSE(std::filesystem::exists(SpoolOf("unitslot")));
  // Unread messages went with the server.
  MailslotServer next = Serve();
  EXPECT_EQ(0u, Info(next).count);
}

TEST_F(MailslotTest, SlotOfAKilledServerIsTakenOverEmpty) {
  int status = InChild([] {
    platform::Error error;
    MailslotServer server = MailslotServer::Create(kSlot, &error);
    MailslotWriter writer = MailslotWriter::Open(kSlot, &error);
    writer.Write("left behind", &error);
    raise(SIGKILL);
    return 1;
  });
  ASSERT_EQ(128 + SIGKILL, status);
  ASSERT_TRUE(std::filesystem::exists(SpoolOf("unitslot")));
  EXPECT_EQ(platform::ErrorKind::kNotFound, WriterError(kSlot));
  MailslotServer server = Serve();
  EXPECT_EQ(0u, Info(server).count);
  Send("fresh");
  EXPECT_EQ(std::vector<std::string>{"fresh"}, ReadAll(server));
}

TEST_F(MailslotTest, ConcurrentWritersNeverInterleave) {
  MailslotServer server = Serve();
  constexpr int kWriters = 4;
  constexpr int kEach = 2000;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      platform::Error error;
      MailslotWriter writer = MailslotWriter::Open(kSlot, &error);
      for (int i = 0; i < kEach; ++i) {
        std::string body(static_cast<size_t>(100 + (i % 7) * 300), static_cast<char>('a' + w));
        if (!writer.Write(std::to_string(w) + ":" + std::to_string(i) + ":" + body, &error)) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(static_cast<uint32_t>(kWriters * kEach), Info(server).count);
  std::vector<int> next(kWriters, 0);
  for (const std::string& message : ReadAll(server)) {
    int w = message[0] - '0';
    ASSERT_EQ(std::to_string(w) + ":" + std::to_string(next[w]) + ":", message.substr(0, message.find(':', 2) + 1));
    ASSERT_EQ(std::string::npos, message.find_first_not_of(static_cast<char>('a' + w), message.find(':', 2) + 1));
    ++next[w];
  }
  EXPECT_EQ(std::vector<int>(kWriters, kEach), next);
}

// A writer that dies in the middle of a message leaves a cut record; every cut is skipped,
// whether it ends the spool or more messages follow it.
TEST_F(MailslotTest, CutMessageIsSkippedAtEveryLength) {
  const std::string torn = platform::MailslotRecord(std::string(300, 't'));
  for (size_t cut = 0; cut < torn.size(); ++cut) {
    SCOPED_TRACE(cut);
    MailslotServer server = Serve();
    Send("before");
    AppendRaw(torn.substr(0, cut));
    EXPECT_EQ(1u, Info(server).count);
    Send("after");
    EXPECT_EQ(2u, Info(server).count);
    EXPECT_EQ((std::vector<std::string>{"before", "after"}), ReadAll(server));
  }
}

TEST_F(MailslotTest, DamagedRecordIsSkipped) {
  const std::string record = platform::MailslotRecord("damaged message");
  for (size_t at = 0; at < record.size(); ++at) {
    SCOPED_TRACE(at);
    MailslotServer server = Serve();
    std::string damaged = record;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
    Send("before");
    AppendRaw(damaged);
    Send("after");
    EXPECT_EQ((std::vector<std::string>{"before", "after"}), ReadAll(server));
  }
}

// A region of records that claim the largest length but fail their checksum, more than one scan
// window long, then whole messages larger than the window taken together: every whole message
// arrives, in order, and the queries in between find nothing new to judge.
TEST_F(MailslotTest, ALongDamagedRegionAndMessagesAcrossScanWindows) {
  MailslotServer server = Serve();
  Send("before");
  std::string fake = platform::MailslotRecord(std::string(kMailslotMaxMessage, 'f'));
  fake[fake.size() - 1] ^= 0x01;
  std::string region;
  while (region.size() < 3 * 1024 * 1024) region += fake.substr(0, 4096);
  AppendRaw(region);
  EXPECT_EQ(1u, Info(server).count);
  EXPECT_EQ(1u, Info(server).count);
  std::vector<std::string> expected = {"before"};
  for (int i = 0; i < 40; ++i) {
    expected.push_back(std::string(kMailslotMaxMessage - static_cast<size_t>(i), static_cast<char>('a' + i % 26)));
    Send(expected.back());
  }
  EXPECT_EQ(41u, Info(server).count);
  EXPECT_EQ(expected, ReadAll(server));
  EXPECT_EQ(kMailslotNoMessage, Info(server).next_size);
}

// A run's own slot: served in the run's folder whether or not another server holds the name,
// and under the name as well while nobody else does.
TEST_F(MailslotTest, ARunServesItsOwnSlotBesideAnotherServerOfTheName) {
  platform::Error error;
  MailslotServer other = Serve();
  MailslotServer own = MailslotServer::CreateForRun(kSlot, &error);
  ASSERT_TRUE(own.is_open()) << error.text;
  MailslotWriter to_own = MailslotWriter::OpenIn(platform::RunMailslotFolder(), kSlot, &error);
  ASSERT_TRUE(to_own.is_open()) << error.text;
  ASSERT_TRUE(to_own.Write("for the run", &error));
  Send("for the name");
  EXPECT_EQ((std::vector<std::string>{"for the run"}), ReadAll(own));
  EXPECT_EQ((std::vector<std::string>{"for the name"}), ReadAll(other));
  own.Close();
  other.Close();

  // With the name free, the run serves it too: an engine that knows nothing of the run's
  // folder reaches it all the same.
  own = MailslotServer::CreateForRun(kSlot, &error);
  ASSERT_TRUE(own.is_open()) << error.text;
  Send("by name");
  EXPECT_EQ((std::vector<std::string>{"by name"}), ReadAll(own));
  const std::filesystem::path run_folder = platform::RunMailslotFolder();
  own.Close();
  EXPECT_EQ(platform::ErrorKind::kNotFound, WriterError(kSlot));
  EXPECT_FALSE(std::filesystem::exists(run_folder)) << "the run's folder goes with its last slot";
}

// A real writer whose write is cut by its file-size limit, then killed.
TEST_F(MailslotTest, WriterKilledInTheMiddleOfAMessage) {
  MailslotServer server = Serve();
  Send("before");
  int status = InChild([] {
    platform::Error error;
    MailslotWriter writer = MailslotWriter::Open(kSlot, &error);
    signal(SIGXFSZ, SIG_IGN);
    struct stat spool;
    stat(SpoolOf("unitslot").c_str(), &spool);
    rlimit limit = {static_cast<rlim_t>(spool.st_size + 1000), RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    bool cut = !writer.Write(std::string(60000, 'x'), &error) && error.kind == platform::ErrorKind::kCutShort;
    if (cut) raise(SIGKILL);
    return 1;
  });
  ASSERT_EQ(128 + SIGKILL, status);
  EXPECT_EQ(1u, Info(server).count);
  Send("after");
  EXPECT_EQ((std::vector<std::string>{"before", "after"}), ReadAll(server));
}

TEST_F(MailslotTest, FolderAndSpoolAreOwnerOnly) {
  mode_t saved = umask(0);
  MailslotServer server = Serve();
  umask(saved);
  const std::filesystem::path folder = platform::MailslotFolder();
  EXPECT_EQ(runtime_.path() / "testkve" / "mailslot", folder);
  for (const std::filesystem::path& path : {folder.parent_path(), folder, SpoolOf("unitslot")}) {
    SCOPED_TRACE(path.string());
    struct stat status;
    ASSERT_EQ(0, lstat(path.c_str(), &status));
    EXPECT_EQ(getuid(), status.st_uid);
    EXPECT_EQ(path == SpoolOf("unitslot") ? 0600u : 0700u, status.st_mode & 07777);
  }
}

TEST_F(MailslotTest, AnotherUserCannotReachTheSlot) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to become another user";
  MailslotServer server = Serve();
  EXPECT_TRUE(RunUnprivileged([&] {
    platform::Error error;
    EXPECT_FALSE(MailslotWriter::Open(kSlot, &error).is_open());
    EXPECT_EQ(platform::ErrorKind::kDenied, error.kind);
    EXPECT_FALSE(MailslotServer::Create("\\\\.\\mailslot\\Other", &error).is_open());
    EXPECT_FALSE(std::ifstream(SpoolOf("unitslot")).is_open());
    return !::testing::Test::HasFailure();
  }));
  // A folder that another user owns is refused, never used.
  ASSERT_EQ(0, chown(platform::MailslotFolder().c_str(), 65534, 65534));
  platform::Error error;
  EXPECT_FALSE(MailslotServer::Create("\\\\.\\mailslot\\Other", &error).is_open());
  EXPECT_EQ(platform::ErrorKind::kDenied, error.kind);
}

}  // namespace
