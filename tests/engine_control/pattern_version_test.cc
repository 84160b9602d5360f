// The pattern version as the library keeps it: the path joined from its settings, the reader's
// answers turned into result codes, the text kept until the next good read.
#include <gtest/gtest.h>

#include <string>

#include "engine_control/library_state.h"
#include "platform/file_open.h"
#include "support/temp_folder.h"
#include "vxr_lib.h"

namespace {

// A 14-byte record header whose body is a x b bytes long.
std::string Header(uint32_t kind, uint16_t a, uint16_t b, uint16_t version = 0) {
  std::string bytes(14, '\0');
  auto put = [&bytes](size_t at, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(0, kind, 4);
  put(4, a, 2);
  put(10, version, 2);
  put(12, b, 2);
  return bytes;
}

// A header and its (masked) body.
std::string Record(uint32_t kind, uint16_t a, uint16_t b, uint16_t version = 0) {
  return Header(kind, a, b, version) + std::string(size_t{a} * b, '\xA7');
}

constexpr uint32_t kVersionKind = 0x1ABDE21A;
constexpr uint32_t kOtherKind = 0x1ABDD51A;
// A signature trailer as the maker appends it: signature bytes, then their count.
const std::string kTrailer = std::string(128, 's') + std::string("\x80\0\0\0", 4);

class PatternVersionTest : public ::testing::Test {
 protected:
  PatternVersionTest() {
    state_.set_pattern_dir(folder_.str());
    state_.set_pattern_filename("vxr.ptn");
  }

  VXRResult Read(std::string* text) {
    uint32_t size = 0;
    VXRResult result = state_.ReadPatternVersion(&size);
    *text = state_.pattern_version();
    if (result == VXR_LIB_SUCCESS) {
      EXPECT_EQ(size, text->size() + 1);
    }
    return result;
  }

  TempFolder folder_;
  LibraryState state_;
};

TEST_F(PatternVersionTest, AFailureKeepsTheLastGoodVersionAndNothingIsCached) {
  std::string text;
  folder_.Write("vxr.ptn", Record(kVersionKind, 1, 1, 42));
  ASSERT_EQ(Read(&text), VXR_LIB_SUCCESS);
  EXPECT_EQ(text, "42");
  folder_.Write("vxr.ptn", Record(kOtherKind, 1, 1));
  EXPECT_EQ(Read(&text), VXR_LIB_FAIL);
  EXPECT_EQ(text, "42");
  folder_.Write("vxr.ptn", Record(kVersionKind, 1, 1, 43));
  EXPECT_EQ(Read(&text), VXR_LIB_SUCCESS);
  EXPECT_EQ(text, "43");
}

TEST_F(PatternVersionTest, ReaderAnswersBecomeResultCodes) {
  std::string text;
  EXPECT_EQ(Read(&text), VXR_LIB_PATTERN_NOT_EXIST);
  std::filesystem::create_directory(folder_.path() / "vxr.ptn");
  EXPECT_EQ(Read(&text), VXR_LIB_PTN_OPEN_FAIL);
  std::filesystem::remove(folder_.path() / "vxr.ptn");

  folder_.Write("vxr.ptn", Record(kVersionKind, 1, 1, 9));
  platform::Result<ReadOnlyFile> writer = ReadOnlyFile::Open((folder_.path() / "vxr.ptn").string().c_str());
  ASSERT_TRUE(writer && writer->TryLockExclusive());
  EXPECT_EQ(Read(&text), VXR_LIB_PTN_LOCK);
  *writer = ReadOnlyFile();
  EXPECT_EQ(Read(&text), VXR_LIB_SUCCESS);
  folder_.Write("vxr.ptn", Record(kOtherKind, 1, 1) + kTrailer);
  EXPECT_EQ(Read(&text), VXR_LIB_FAIL) << "no record of the name kind";
}

TEST_F(PatternVersionTest, AFolderWithAFinalSlashGivesTheSamePath) {
  folder_.Write("vxr.ptn", Record(kVersionKind, 1, 1, 77));
  std::string text;
  state_.set_pattern_dir(folder_.str() + "/");
  EXPECT_EQ(state_.PatternPath(), folder_.str() + "/vxr.ptn");
  EXPECT_EQ(Read(&text), VXR_LIB_SUCCESS);
  EXPECT_EQ(text, "77");
}

TEST_F(PatternVersionTest, PathsLongerThanTheFieldAreRefused) {
  const struct {
    std::string dir;
    std::string name;
    VXRResult result;
  } cases[] = {
      // 250 + "/" + 8 = 259 characters and the terminator fill the 260-byte field.
      {"/" + std::string(249, 'd'), std::string(8, 'n'), VXR_LIB_PATTERN_NOT_EXIST},
      {"/" + std::string(249, 'd'), std::string(9, 'n'), VXR_LIB_INVALID_PARAMETER},
      {"/" + std::string(250, 'd') + "/", std::string(8, 'n'), VXR_LIB_INVALID_PARAMETER},
      {"/" + std::string(259, 'd'), std::string(1, 'n'), VXR_LIB_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir.size());
    state_.set_pattern_dir(c.dir);
    state_.set_pattern_filename(c.name);
    uint32_t size = 0;
    EXPECT_EQ(state_.ReadPatternVersion(&size), c.result);
  }
}

}  // namespace
