#include "platform/service_manager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/service_record.h"
#include "service_parameters_fixture.h"
#include "support/file_watch.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "support/unprivileged.h"

namespace {

using platform::ServiceManager;
using platform::ServiceParameters;

TEST(ServiceManagerTest, OpenMakesTheFolderOrSaysWhyNot) {
  TempFolder folder;
  platform::Error error;
  const std::string nested = folder.str() + "/a/b/services";
  ASSERT_NE(nullptr, ServiceManager::Open(nested, &error));
  EXPECT_EQ(std::filesystem::perms::owner_all,
            std::filesystem::status(nested).permissions() & std::filesystem::perms::all);

  // Under a regular file nothing can be made, not even by root.
  folder.Write("file", "");
  EXPECT_EQ(nullptr, ServiceManager::Open(folder.str() + "/file/services", &error));
  EXPECT_EQ(ENOTDIR, error.code);
  EXPECT_EQ(nullptr, ServiceManager::Open(folder.str() + "/file", &error));
  EXPECT_EQ(ENOTDIR, error.code);
}

TEST(ServiceManagerTest, AFolderTheUserMayNotWriteIsRefused) {
  TempFolder folder;
  // Readable and searchable by everybody, writable by its owner only.
  std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                  std::filesystem::perms::group_exec |
                                                  std::filesystem::perms::others_read |
                                                  std::filesystem::perms::others_exec);
  std::filesystem::create_directory(folder.path() / "services");
  if (!RunningAsRoot()) {
    std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::filesystem::permissions(folder.path() / "services", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
  }
  EXPECT_TRUE(RunUnprivileged([&] {
    platform::Error error;
    // A refused access is kDenied, as a folder of another user's is.
    EXPECT_EQ(nullptr, ServiceManager::Open(folder.str() + "/services", &error));
    EXPECT_EQ(EACCES, error.code);
    EXPECT_EQ(platform::ErrorKind::kDenied, error.kind);
    EXPECT_EQ(nullptr, ServiceManager::Open(folder.str() + "/new", &error));
    EXPECT_EQ(EACCES, error.code);
    EXPECT_EQ(platform::ErrorKind::kDenied, error.kind);
    return !::testing::Test::HasFailure();
  }));
  std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
  std::filesystem::permissions(folder.path() / "services", std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add);
}

TEST(ServiceManagerTest, CreatesOnceAndOpensWhatWasCreated) {
  TempFolder folder;
  platform::Error error;
  auto manager = ServiceManager::Open(folder.str(), &error);
  ASSERT_NE(nullptr, manager);
  EXPECT_EQ(nullptr, manager->OpenService("TestSrv", &error));
  EXPECT_EQ(platform::ErrorKind::kNotFound, error.kind);
  EXPECT_EQ(ENOENT, error.code);

  ASSERT_NE(nullptr, manager->CreateService(FullParameters(), &error));
  ServiceParameters other = FullParameters();
  other.program_path = "/elsewhere";
  EXPECT_EQ(nullptr, manager->CreateService(other, &error));
  EXPECT_EQ(platform::ErrorKind::kExists, error.kind);
  EXPECT_EQ(EEXIST, error.code);
  auto opened = manager->OpenService("TestSrv", &error);
  ASSERT_NE(nullptr, opened);
  ExpectSame(FullParameters(), opened->parameters());
  // Only the record itself: no temporary file is left behind.
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder.path()), {}));
}

TEST(ServiceManagerTest, RefusesWhatARecordCannotHold) {
  TempFolder folder;
  platform::Error error;
  auto manager = ServiceManager::Open(folder.str(), &error);
  ASSERT_NE(nullptr, manager);
  const ServiceParameters cases[] = {
      {.name = "", .program_path = "/p"},       {.name = "a/b", .program_path = "/p"},
      {.name = "..", .program_path = "/p"},     {.name = "a", .program_path = ""},
      {.name = "a", .program_path = "/p\nx=1"}, {.name = "a", .program_path = std::string("/p\0", 3)},
  };
  for (const ServiceParameters& p : cases) {
    SCOPED_TRACE(p.name + "|" + p.program_path);
    EXPECT_EQ(nullptr, manager->CreateService(p, &error));
    EXPECT_EQ(platform::ErrorKind::kInvalid, error.kind);
    EXPECT_EQ(EINVAL, error.code);
  }
  EXPECT_EQ(0, std::distance(std::filesystem::directory_iterator(folder.path()), {}));
}

TEST(ServiceManagerTest, ADamagedRecordIsNeverUsed) {
  TempFolder folder;
  platform::Error error;
  auto manager = ServiceManager::Open(folder.str(), &error);
  ASSERT_NE(nullptr, manager);
  const std::string record = platform::FormatServiceRecord(FullParameters());
  ServiceParameters renamed = FullParameters();
  renamed.name = "Other";
  for (const std::string& text :
       {record.substr(0, record.size() / 2), std::string(), platform::FormatServiceRecord(renamed)}) {
    folder.Write("TestSrv.service", text);
    EXPECT_EQ(nullptr, manager->OpenService("TestSrv", &error));
    EXPECT_EQ(platform::ErrorKind::kDamaged, error.kind);
    EXPECT_EQ(EBADMSG, error.code);
  }
}

TEST(ServiceStartTest, RunsTheProgramDetachedWithItsArgumentsAndLogsItsOutput) {
  TempFolder folder;
  platform::Error error;
  auto manager = ServiceManager::Open(folder.str(), &error);
  ASSERT_NE(nullptr, manager);
  auto service = manager->CreateService({.name = "Sh", .program_path = "/bin/sh"}, &error);
  ASSERT_NE(nullptr, service);
  // Its folder, its arguments, its standard input and its session, then a last line.
  const std::string script = "pwd; echo \"$0|$1\"; readlink /proc/self/fd/0; cut -d' ' -f6 /proc/$$/stat; echo done";
  ASSERT_TRUE(service->Start({"-c", script, "one two", ""}, &error)) << error.text;
  const std::string log = manager->LogPath("Sh");
  ASSERT_TRUE(WaitForText(log, "done\n", 1));
  std::vector<std::string> lines = ReadLines(log);
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ("/", lines[0]);
  EXPECT_EQ("one two|", lines[1]);
  EXPECT_EQ("/dev/null", lines[2]);
  EXPECT_NE(std::to_string(getsid(0)), lines[3]);

  // A second start appends to the same log, once the first has ended: its processes hold the
  // log's lock until then.
  int held = open(log.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  EXPECT_EQ(0, flock(held, LOCK_EX));
  close(held);
  ASSERT_TRUE(service->Start({"-c", "echo again"}, &error));
  EXPECT_TRUE(WaitForText(log, "again\n", 1));
}

TEST(ServiceStartTest, FailsUnlessTheProgramIsReallyExecuted) {
  TempFolder folder;
  platform::Error error;
  auto manager = ServiceManager::Open(folder.str(), &error);
  ASSERT_NE(nullptr, manager);
  const std::string not_executable = folder.Write("plain", "#!/bin/sh\n").string();
  const struct {
    std::string program;
    int code;
    platform::ErrorKind kind;
  } cases[] = {
      {folder.str() + "/missing", ENOENT, platform::ErrorKind::kNotFound},
      {not_executable, EACCES, platform::ErrorKind::kDenied},
      {folder.str(), EACCES, platform::ErrorKind::kDenied},
  };
  for (const auto& [program, code, kind] : cases) {
    SCOPED_TRACE(program);
    platform::Service service(folder.str(), {.name = "Broken", .program_path = program});
    EXPECT_FALSE(service.Start({}, &error));
    EXPECT_EQ(code, error.code);
    EXPECT_EQ(kind, error.kind);
  }
  platform::Service with_account(folder.str(), {.name = "Other", .program_path = "/bin/true", .account = "qa"});
  EXPECT_FALSE(with_account.Start({}, &error));
  EXPECT_EQ(platform::ErrorKind::kDenied, error.kind);
  EXPECT_EQ(EPERM, error.code);
}

}  // namespace
