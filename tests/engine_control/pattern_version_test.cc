// The pattern version read from the record headers of the pattern file.
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

TEST_F(PatternVersionTest, FileContents) {
  const struct {
    const char* name;
    std::string content;
    VXRResult result;
    const char* version;
  } cases[] = {
      {"first record", Record(kVersionKind, 3, 5, 1234) + kTrailer, VXR_LIB_SUCCESS, "1234"},
      {"after skipped bodies",
       Record(kOtherKind, 300, 7) + Record(kOtherKind, 0, 9) + Record(kVersionKind, 2, 2, 65535) +
           kTrailer,
       VXR_LIB_SUCCESS, "65535"},
      {"the first of two", Record(kVersionKind, 1, 1, 7) + Record(kVersionKind, 1, 1, 8),
       VXR_LIB_SUCCESS, "7"},
      {"version zero", Record(kVersionKind, 0, 0, 0), VXR_LIB_SUCCESS, "0"},
      {"no record of the kind", Record(kOtherKind, 4, 4) + kTrailer, VXR_LIB_FAIL, ""},
      {"a body that runs past the end", Header(kOtherKind, 60000, 60000) + std::string(86, 'x'),
       VXR_LIB_FAIL, ""},
      {"a short header", Record(kVersionKind, 0, 0, 5).substr(0, 13), VXR_LIB_FAIL, ""},
      {"an empty file", "", VXR_LIB_FAIL, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    folder_.Write("vxr.ptn", c.content);
    LibraryState fresh;
    fresh.set_pattern_dir(folder_.str());
    fresh.set_pattern_filename("vxr.ptn");
    uint32_t size = 0;
    EXPECT_EQ(fresh.ReadPatternVersion(&size), c.result);
    EXPECT_EQ(fresh.pattern_version(), c.version);
  }
}

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

TEST_F(PatternVersionTest, OpenErrors) {
  std::string text;
  EXPECT_EQ(Read(&text), VXR_LIB_PATTERN_NOT_EXIST);
  std::filesystem::create_directory(folder_.path() / "vxr.ptn");
  EXPECT_EQ(Read(&text), VXR_LIB_PTN_OPEN_FAIL);
  std::filesystem::remove(folder_.path() / "vxr.ptn");

  folder_.Write("vxr.ptn", Record(kVersionKind, 1, 1, 9));
  FileOpenError error;
  ReadOnlyFile writer = ReadOnlyFile::Open((folder_.path() / "vxr.ptn").c_str(), &error);
  ASSERT_TRUE(writer.TryLockExclusive());
  EXPECT_EQ(Read(&text), VXR_LIB_PTN_LOCK);
  writer = ReadOnlyFile();
  EXPECT_EQ(Read(&text), VXR_LIB_SUCCESS);
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
