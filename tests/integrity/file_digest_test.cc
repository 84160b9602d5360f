#include "integrity/file_digest.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/open_file.h"
#include "support/temp_folder.h"

namespace {

// Known SHA-256 values; the long file spans several of the reader's 64 KiB chunks.
TEST(FileDigestTest, Sha256OfFiles) {
  struct Case {
    const char* name;
    std::string content;
    const char* sha256;
  } cases[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"200000 a", std::string(200000, 'a'), "2287d207f24a941ff3b56c04c8a25ad56b63e3023207b3bb5b4ac0c9869d74be"},
  };
  TempFolder folder;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    std::string hex;
    platform::OpenFile file = platform::OpenFile::Open(folder.Write("file", test.content).string().c_str());
    ASSERT_TRUE(FileSha256Hex(file, &hex));
    EXPECT_EQ(hex, test.sha256);
  }
}

TEST(FileDigestTest, FileNotOpenHasNoDigest) {
  std::string hex;
  EXPECT_FALSE(FileSha256Hex(platform::OpenFile(), &hex));
}

}  // namespace
