// Files replaced whole in a folder held open, without following planted links, and the
// folder's lock.
#include "platform/folder_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "platform/process.h"
#include "support/symbolic_link.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

using platform::FolderWriter;

// The folder at `path`, opened; a failure to open it fails the test.
FolderWriter OpenFolder(const std::string& path) {
  platform::Result<FolderWriter> opened = FolderWriter::Open(path);
  EXPECT_TRUE(opened) << opened.error().text;
  return opened ? std::move(*opened) : FolderWriter();
}

TEST(FolderWriterTest, ReplacesAFileWholeAndLeavesNoTemporaryFile) {
  TempFolder folder;
  platform::Error error;
  FolderWriter writer = OpenFolder((folder.path() / "a" / "b").string());
  ASSERT_TRUE(writer.is_open());
  ASSERT_TRUE(writer.ReplaceFile("report.txt", "first\n", &error)) << error.text;
  ASSERT_TRUE(writer.ReplaceFile("report.txt", "second\n", &error)) << error.text;
  EXPECT_EQ("second\n", ReadFile(folder.path() / "a" / "b" / "report.txt"));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder.path() / "a" / "b"),
                             std::filesystem::directory_iterator()));
}

TEST(FolderWriterTest, APlantedLinkIsReplacedNotFollowed) {
  TempFolder folder;
  const std::filesystem::path victim = folder.Write("victim", "keep");
  platform::Error error;
  if (std::string why; !MakeSymbolicLink(victim, folder.path() / "report.txt", false, &why)) GTEST_SKIP() << why;
  FolderWriter writer = OpenFolder(folder.str());
  ASSERT_TRUE(writer.ReplaceFile("report.txt", "new", &error)) << error.text;
  EXPECT_EQ("keep", ReadFile(victim));
  EXPECT_FALSE(std::filesystem::is_symlink(folder.path() / "report.txt"));
}

// Files planted at the names a process ID would give (".report.txt.tmp-<pid>") neither stop the
// replace nor are written through: the temporary file's name is random.
TEST(FolderWriterTest, TemporaryNamesMadeInAdvanceAreNotTaken) {
  TempFolder folder;
  const std::string planted = ".report.txt.tmp-" + std::to_string(platform::CurrentProcessId());
  folder.Write(planted, "planted");
  platform::Error error;
  FolderWriter writer = OpenFolder(folder.str());
  ASSERT_TRUE(writer.ReplaceFile("report.txt", "new", &error)) << error.text;
  EXPECT_EQ("new", ReadFile(folder.path() / "report.txt"));
  EXPECT_EQ("planted", ReadFile(folder.path() / planted));
  EXPECT_EQ(2,
            std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()));
}

TEST(FolderWriterTest, AFolderThatIsALinkIsRefused) {
  TempFolder folder;
  std::filesystem::create_directory(folder.path() / "real");
  if (std::string why; !MakeSymbolicLink(folder.path() / "real", folder.path() / "link", true, &why))
    GTEST_SKIP() << why;
  platform::Result<FolderWriter> opened = FolderWriter::Open((folder.path() / "link").string());
  EXPECT_FALSE(opened);
  EXPECT_NE(std::string::npos, opened.error().text.find("link")) << opened.error().text;
}

TEST(FolderWriterTest, AFailedReplaceLeavesTheFolderAsItWas) {
  TempFolder folder;
  std::filesystem::create_directory(folder.path() / "report.txt");
  platform::Error error;
  FolderWriter writer = OpenFolder(folder.str());
  EXPECT_FALSE(writer.ReplaceFile("report.txt", "new", &error));
  EXPECT_FALSE(error.text.empty());
  EXPECT_EQ(1,
            std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()));
}

TEST(FolderWriterTest, OneLockHolderAtATime) {
  TempFolder folder;
  FolderWriter first = OpenFolder(folder.str());
  FolderWriter second = OpenFolder(folder.str());
  EXPECT_TRUE(first.TryLock());
  EXPECT_FALSE(second.TryLock());
  first = FolderWriter();
  EXPECT_TRUE(second.TryLock());
}

}  // namespace
