// A file held open: what it is, streams over that same open file, and its identity.
#include "platform/open_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"

namespace {

using platform::FileIdentity;
using platform::OpenFile;

std::string ReadAll(std::FILE* stream) {
  std::string text;
  for (int c; (c = std::fgetc(stream)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(OpenFileTest, OnlyRegularFilesOpen) {
  TempFolder folder;
  EXPECT_TRUE(OpenFile::Open(folder.Write("f", "x").string().c_str()).is_open());
  EXPECT_FALSE(OpenFile::Open(folder.path().string().c_str()).is_open());
  EXPECT_FALSE(OpenFile::Open("/dev/null").is_open());
  EXPECT_FALSE(OpenFile::Open((folder.path() / "missing").string().c_str()).is_open());
  EXPECT_FALSE(OpenFile::Open(nullptr).is_open());
}

TEST(OpenFileTest, StreamsReadTheOpenFileFromItsStartEvenAfterItsPathIsReplaced) {
  TempFolder folder;
  const std::filesystem::path path = folder.Write("f", "checked");
  const OpenFile file = OpenFile::Open(path.string().c_str());
  // Moved away, not overwritten: Windows lets no one replace a file held open.
  std::filesystem::rename(path, folder.path() / "f.checked");
  std::filesystem::rename(folder.Write("g", "impostor"), path);
  UniqueStream first = file.Stream();
  ASSERT_TRUE(first);
  EXPECT_EQ("checked", ReadAll(first.get()));
  UniqueStream second = file.Stream();
  EXPECT_EQ("checked", ReadAll(second.get()));
}

TEST(OpenFileTest, AnyWriteChangesTheIdentity) {
  TempFolder folder;
  const std::filesystem::path path = folder.Write("f", "abc");
  const OpenFile file = OpenFile::Open(path.string().c_str());
  FileIdentity before;
  ASSERT_TRUE(file.Identity(&before));
  FileIdentity same;
  ASSERT_TRUE(file.Identity(&same));
  EXPECT_EQ(before, same);
  std::ofstream writer(path, std::ios::binary | std::ios::in | std::ios::out);
#ifdef _WIN32
  // Windows goes further: no one may write to the file while it is held.
  EXPECT_FALSE(writer.is_open());
  return;
#endif
  writer << "x";  // same size
  writer.close();
  FileIdentity after;
  ASSERT_TRUE(file.Identity(&after));
  EXPECT_EQ(before.inode, after.inode);
  EXPECT_EQ(before.size, after.size);
  EXPECT_NE(before, after);
}

}  // namespace
