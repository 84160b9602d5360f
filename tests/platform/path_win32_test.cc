// Lexical absolute paths on Windows: drive letters, UNC shares and both separators, joined to
// a base with "." and ".." folded, nothing asked of the disk.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(WindowsPathTest, LexicalAbsolutePath) {
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
      {"C:rel", "C:\\work", "C:\\work\\rel"},
      {"", "C:\\work\\", "C:\\work"},
      {"\\\\server\\share\\a\\..\\..\\b", "C:\\work", "\\\\server\\share\\b"},
      {"//server/share/x", "C:\\work", "\\\\server\\share\\x"},
      {"x", "\\\\server\\share\\dir", "\\\\server\\share\\dir\\x"},
      {"a b\\c", "C:\\w", "C:\\w\\a b\\c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(LexicalAbsolutePath(c.path, c.base), c.expected);
  }
}

TEST(WindowsPathTest, AbsolutePathJoinsTheCurrentDirectoryOnlyToARelativePath) {
  const std::string current = std::filesystem::current_path().string();
  EXPECT_EQ(AbsolutePath("x\\..\\y"), current + "\\y");
  EXPECT_EQ(AbsolutePath("C:\\a\\.\\b"), "C:\\a\\b");
}

}  // namespace
