#include "platform/shared_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/shared_memory_faults.h"
#include "platform/process.h"

namespace {

using platform::posix::InjectSharedMemoryFault;
using platform::posix::SharedMemoryCall;

// The process ID of a child that has ended and been reaped: no process has it now.
uint32_t EndedProcessId() {
  const std::vector<std::string> argv = {"/bin/true"};
  platform::ChildProcess child = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  const uint32_t pid = static_cast<uint32_t>(child.process_id());
  child.Wait();
  return pid;
}

TEST(SharedMemoryTest, CreatesAZeroedObjectOfExactlyTheSizeAboveTheStandardStreams) {
  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(36);
  ASSERT_TRUE(handle) << handle.error().text;
  EXPECT_GE(handle->value(), 3);
  platform::Result<platform::SharedView> view = platform::MapSharedMemory(*handle, true);
  ASSERT_TRUE(view) << view.error().text;
  ASSERT_EQ(36u, view->bytes().size());
  EXPECT_TRUE(std::all_of(view->bytes().begin(), view->bytes().end(), [](std::byte b) { return b == std::byte{0}; }));
}

TEST(SharedMemoryTest, ADuplicateSharesTheBytesAndSurvivesTheOriginalHandle) {
  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(64);
  ASSERT_TRUE(handle) << handle.error().text;
  platform::Result<platform::SharedView> writer = platform::MapSharedMemory(*handle, true);
  ASSERT_TRUE(writer) << writer.error().text;
  std::memcpy(writer->bytes().data(), "settings", 8);

  platform::Result<platform::SharedMemoryHandle> duplicate =
      platform::DuplicateSharedMemory(platform::CurrentProcessId(), static_cast<uint32_t>(handle->value()));
  ASSERT_TRUE(duplicate) << duplicate.error().text;
  EXPECT_NE(handle->value(), duplicate->value());
  handle->Close();
  platform::Result<platform::SharedView> reader = platform::MapSharedMemory(*duplicate, false);
  ASSERT_TRUE(reader) << reader.error().text;
  ASSERT_EQ(64u, reader->bytes().size());
  EXPECT_EQ(0, std::memcmp(reader->bytes().data(), "settings", 8));
  std::memcpy(writer->bytes().data(), "changed!", 8);
  EXPECT_EQ(0, std::memcmp(reader->bytes().data(), "changed!", 8));
}

TEST(SharedMemoryTest, FallsBackToProcWhenPidfdGetfdIsRefused) {
  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(16);
  ASSERT_TRUE(handle) << handle.error().text;
  platform::Result<platform::SharedView> writer = platform::MapSharedMemory(*handle, true);
  ASSERT_TRUE(writer) << writer.error().text;
  std::memcpy(writer->bytes().data(), "via /proc", 9);

  InjectSharedMemoryFault(SharedMemoryCall::kPidfdGetfd, EPERM);
  platform::Result<platform::SharedMemoryHandle> duplicate =
      platform::DuplicateSharedMemory(platform::CurrentProcessId(), static_cast<uint32_t>(handle->value()));
  ASSERT_TRUE(duplicate) << duplicate.error().text;
  platform::Result<platform::SharedView> reader = platform::MapSharedMemory(*duplicate, false);
  ASSERT_TRUE(reader) << reader.error().text;
  EXPECT_EQ(0, std::memcmp(reader->bytes().data(), "via /proc", 9));
}

TEST(SharedMemoryTest, DuplicationFailsCleanlyForAnythingButALiveSealedObject) {
  platform::Result<platform::SharedMemoryHandle> block = platform::CreateSharedMemory(16);
  ASSERT_TRUE(block) << block.error().text;
  std::FILE* plain_file = std::tmpfile();
  ASSERT_NE(nullptr, plain_file);
  // Far above any descriptor a test opens; a just-closed number could be reused at once.
  const uint32_t closed_number = 999999;

  const uint32_t self = platform::CurrentProcessId();
  const uint32_t block_number = static_cast<uint32_t>(block->value());
  struct Case {
    const char* what;
    uint32_t process_id;
    uint32_t handle;
    const char* error_part;
  } cases[] = {
      {"ended process", EndedProcessId(), block_number, "pidfd_open"},
      {"process ID 0", 0, block_number, "pidfd_open"},
      {"descriptor not open", self, closed_number, "pidfd_getfd"},
      {"plain file", self, static_cast<uint32_t>(fileno(plain_file)), "not a sealed"},
      {"standard output", self, 1, "not a sealed"},
      {"handle out of range", self, 0x80000000u, "out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::Result<platform::SharedMemoryHandle> duplicate = platform::DuplicateSharedMemory(c.process_id, c.handle);
    EXPECT_FALSE(duplicate);
    EXPECT_NE(std::string::npos, duplicate.error().text.find(c.error_part)) << duplicate.error().text;
  }
  std::fclose(plain_file);
}

TEST(SharedMemoryTest, InjectedFailuresOfCreationAndMappingAreReported) {
  InjectSharedMemoryFault(SharedMemoryCall::kMemfdCreate, EMFILE);
  platform::Result<platform::SharedMemoryHandle> refused = platform::CreateSharedMemory(16);
  EXPECT_FALSE(refused);
  EXPECT_NE(std::string::npos, refused.error().text.find("memfd_create")) << refused.error().text;
  EXPECT_EQ(EMFILE, refused.error().code);

  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(16);
  ASSERT_TRUE(handle) << handle.error().text;
  InjectSharedMemoryFault(SharedMemoryCall::kMmap, ENOMEM);
  platform::Result<platform::SharedView> unmapped = platform::MapSharedMemory(*handle, true);
  EXPECT_FALSE(unmapped);
  EXPECT_NE(std::string::npos, unmapped.error().text.find("mmap")) << unmapped.error().text;
  // A fault is taken once: the next call succeeds.
  platform::Result<platform::SharedView> mapped = platform::MapSharedMemory(*handle, true);
  EXPECT_TRUE(mapped) << mapped.error().text;

  EXPECT_EQ(platform::CreateSharedMemory(0).error().kind, platform::ErrorKind::kInvalid);
}

// Read from /proc/self/fdinfo: whether the descriptor carries close-on-exec (O_CLOEXEC).
bool IsCloseOnExec(int fd) {
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
  std::string key;
  std::string value;
  while (info >> key >> value) {
    if (key == "flags:") return (std::stoul(value, nullptr, 8) & 02000000) != 0;
  }
  return false;
}

TEST(SharedMemoryTest, CreatedAndDuplicatedDescriptorsAreCloseOnExec) {
  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(16);
  ASSERT_TRUE(handle) << handle.error().text;
  EXPECT_TRUE(IsCloseOnExec(handle->value()));
  const uint32_t number = static_cast<uint32_t>(handle->value());
  for (bool refuse_pidfd : {false, true}) {
    SCOPED_TRACE(refuse_pidfd ? "through /proc" : "through pidfd_getfd");
    if (refuse_pidfd) InjectSharedMemoryFault(SharedMemoryCall::kPidfdGetfd, EPERM);
    platform::Result<platform::SharedMemoryHandle> duplicate =
        platform::DuplicateSharedMemory(platform::CurrentProcessId(), number);
    ASSERT_TRUE(duplicate) << duplicate.error().text;
    EXPECT_TRUE(IsCloseOnExec(duplicate->value()));
  }
}

}  // namespace
