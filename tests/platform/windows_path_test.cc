// Windows paths as text, tested on every system: drive letters, drive-relative paths, UNC
// shares and both separators, joined to a base with "." and ".." folded, nothing asked of a disk.
#include "platform/windows_path.h"

#include <gtest/gtest.h>

namespace {

using platform::windows_path::LexicalFullPath;

TEST(WindowsPathTest, LexicalFullPath) {
  const struct {
    const char* path;
    const char* base;
    const char* expected;
  } cases[] = {
      {"patterns", "C:\\work", "C:\\work\\patterns"},
      {"patterns\\", "C:\\work", "C:\\work\\patterns\\"},
      {"patterns/", "C:\\work", "C:\\work\\patterns\\"},
      {".\\a/./b", "C:\\work", "C:\\work\\a\\b"},
      {"a\\..\\b", "C:\\work", "C:\\work\\b"},
      {"..\\..\\..", "C:\\work\\x", "C:\\"},
      {"D:\\abs//x\\\\y", "C:\\work", "D:\\abs\\x\\y"},
      {"d:/abs/../..", "C:\\work", "d:\\"},
      {"\\top\\x", "E:\\work", "E:\\top\\x"},
      {"", "C:\\work\\", "C:\\work"},
      {"\\\\server\\share\\a\\..\\..\\b", "C:\\work", "\\\\server\\share\\b"},
      {"//server/share/x", "C:\\work", "\\\\server\\share\\x"},
      {"x", "\\\\server\\share\\dir", "\\\\server\\share\\dir\\x"},
      {"a b\\c", "C:\\w", "C:\\w\\a b\\c"},
      {"eng ine \xC3\xA9\\x", "C:\\w", "C:\\w\\eng ine \xC3\xA9\\x"},
      // A drive-relative path joins the current folder of its own drive, never another's.
      {"C:ptn", "C:\\work", "C:\\work\\ptn"},
      {"c:ptn\\..\\x", "C:\\work", "C:\\work\\x"},
      {"C:ptn", "D:\\work", "C:\\ptn"},
      {"C:..\\ptn", "D:\\work", "C:\\ptn"},
      {"C:", "D:\\work", "C:\\"},
      {"C:", "C:\\work", "C:\\work"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(LexicalFullPath(c.path, c.base), c.expected);
  }
}

TEST(WindowsPathTest, TellsFullAndDriveRelativePaths) {
  using platform::windows_path::IsFull;
  using platform::windows_path::RelativeDrive;
  EXPECT_TRUE(IsFull("C:\\x"));
  EXPECT_TRUE(IsFull("c:/"));
  EXPECT_TRUE(IsFull("\\\\server\\share"));
  EXPECT_FALSE(IsFull("C:x"));
  EXPECT_FALSE(IsFull("\\x"));
  EXPECT_FALSE(IsFull("x"));
  EXPECT_EQ(RelativeDrive("C:ptn"), 'C');
  EXPECT_EQ(RelativeDrive("d:"), 'd');
  EXPECT_EQ(RelativeDrive("C:\\ptn"), 0);
  EXPECT_EQ(RelativeDrive("1:ptn"), 0);
  EXPECT_EQ(RelativeDrive("ptn"), 0);
}

}  // namespace
