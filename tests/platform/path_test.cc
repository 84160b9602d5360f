// Lexical absolute paths: joined to a base, "." and ".." folded, nothing asked of the disk.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(PathTest, LexicalAbsolutePath) {
  const struct {
    const char* path;
    const char* base;
    const char* expected;
  } cases[] = {
      {"patterns", "/work", "/work/patterns"},
      {"patterns/", "/work", "/work/patterns/"},
      {"./a/./b", "/work", "/work/a/b"},
      {"a/../b", "/work", "/work/b"},
      {"../../..", "/work/x", "/"},
      {"..", "/", "/"},
      {"/abs//x///y", "/work", "/abs/x/y"},
      {"/abs/../..", "/work", "/"},
      {"/", "/work", "/"},
      {"", "/work/", "/work"},
      {"does/not/exist/..", "/nowhere", "/nowhere/does/not"},
      {"a b/c", "/w", "/w/a b/c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(LexicalAbsolutePath(c.path, c.base), c.expected);
  }
}

TEST(PathTest, AbsolutePathJoinsTheCurrentDirectoryOnlyToARelativePath) {
  const std::string current = std::filesystem::current_path().string();
  EXPECT_EQ(AbsolutePath("x/../y"), current + "/y");
  EXPECT_EQ(AbsolutePath("/a/./b"), "/a/b");
}

}  // namespace
