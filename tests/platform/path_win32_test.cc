// Absolute paths on Windows: the process's current folder joined to a relative path, and a
// drive-relative path joined to its own drive's current folder, as the system keeps it.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(WindowsPathTest, LexicalAbsolutePathIsTheWindowsOne) {
  EXPECT_EQ(LexicalAbsolutePath("C:ptn", "D:\\work"), "C:\\ptn");
  EXPECT_EQ(LexicalAbsolutePath("a/../b/", "C:\\work"), "C:\\work\\b\\");
}

TEST(WindowsPathTest, AbsolutePathJoinsTheCurrentDirectoryOnlyToARelativePath) {
  const std::string current = std::filesystem::current_path().string();
  EXPECT_EQ(AbsolutePath("x\\..\\y"), current + "\\y");
  EXPECT_EQ(AbsolutePath("C:\\a\\.\\b"), "C:\\a\\b");
  int error = 0;
  EXPECT_EQ(CurrentDirectory(&error), current);
}

// The current folder's own drive: its drive-relative paths join the current folder.
TEST(WindowsPathTest, DriveRelativePathOnTheCurrentDrive) {
  const std::string current = std::filesystem::current_path().string();
  ASSERT_GE(current.size(), 3u);
  EXPECT_EQ(AbsolutePath(current.substr(0, 2) + "ptn"), current + "\\ptn");
}

}  // namespace
