// Opening files for reading with the error classes the pattern reader tells apart.
#include "platform/file_open.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "support/temp_folder.h"
#ifdef __linux__
#include "support/unprivileged.h"
#endif

namespace {

class FileOpenTest : public ::testing::Test {
 protected:
  FileOpenTest() : file_(folder_.Write("data.bin", "0123456789")) {}

  platform::ErrorKind OpenError(const std::filesystem::path& path) {
    platform::Result<ReadOnlyFile> file = ReadOnlyFile::Open(path.string().c_str());
    EXPECT_EQ(file.ok(), file.error().kind == platform::ErrorKind::kNone);
    EXPECT_TRUE(!file || file->is_open());
    return file.error().kind;
  }

  const TempFolder folder_;
  const std::filesystem::path file_;
};

TEST_F(FileOpenTest, ErrorClasses) {
  EXPECT_EQ(OpenError(file_), platform::ErrorKind::kNone);
  EXPECT_EQ(OpenError(folder_.path() / "missing"), platform::ErrorKind::kNotFound);
  EXPECT_EQ(OpenError(file_ / "below_a_file"), platform::ErrorKind::kNotFound);
  // A folder is refused as Windows refuses it: access denied.
  EXPECT_EQ(OpenError(folder_.path()), platform::ErrorKind::kDenied);
  EXPECT_EQ(ReadOnlyFile::Open(nullptr).error().kind, platform::ErrorKind::kInvalid);
#ifdef __linux__
  // A name too long is a class of its own on Linux; Windows reports the path as not found.
  EXPECT_EQ(OpenError(std::filesystem::path(std::string(5000, 'x'))), platform::ErrorKind::kOther);
#endif
}

// Permission bits and a user to drop to are Linux's.
#ifdef __linux__
TEST_F(FileOpenTest, AFileWithoutReadPermissionFailsToOpen) {
  std::filesystem::permissions(file_, std::filesystem::perms::none);
  // The superuser reads it anyway, so the open runs as an ordinary user.
  std::filesystem::permissions(folder_.path(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
  EXPECT_TRUE(RunUnprivileged([&] {
    platform::Result<ReadOnlyFile> file = ReadOnlyFile::Open(file_.string().c_str());
    EXPECT_FALSE(file.ok());
    EXPECT_EQ(file.error().kind, platform::ErrorKind::kDenied);
    return !::testing::Test::HasFailure();
  }));
}
#endif  // __linux__

TEST_F(FileOpenTest, AnExclusiveLockHeldByAnotherOpenIsALockViolation) {
  platform::Result<ReadOnlyFile> holder = ReadOnlyFile::Open(file_.string().c_str());
  ASSERT_TRUE(holder && holder->TryLockExclusive());
  EXPECT_EQ(OpenError(file_), platform::ErrorKind::kBusy);
  *holder = ReadOnlyFile();
  EXPECT_EQ(OpenError(file_), platform::ErrorKind::kNone);
}

TEST_F(FileOpenTest, ReadAtReadsWholeOrShortAtTheEnd) {
  platform::Result<ReadOnlyFile> opened = ReadOnlyFile::Open(file_.string().c_str());
  ASSERT_TRUE(opened);
  const ReadOnlyFile& file = *opened;
  EXPECT_EQ(file.Size(), 10);
  EXPECT_TRUE(file.IsRegular());
  std::array<std::byte, 4> bytes;
  EXPECT_EQ(file.ReadAt(3, bytes), 4);
  EXPECT_EQ(static_cast<char>(bytes[0]), '3');
  EXPECT_EQ(file.ReadAt(8, bytes), 2);
  EXPECT_EQ(file.ReadAt(10, bytes), 0);
  EXPECT_EQ(file.ReadAt(1000, bytes), 0);
}

}  // namespace
