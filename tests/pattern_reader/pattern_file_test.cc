// The record level of pattern files: the version in the first name record's header, and the
// walk over records with its filter and body callbacks.
#include "pattern_reader/pattern_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern_fixture.h"
#include "platform/file_open.h"
#include "support/temp_folder.h"

namespace {

using namespace pattern_fixture;

// A header and a masked body of a x b bytes.
std::string Record(uint32_t kind, uint16_t a, uint16_t b, uint16_t version = 0) {
  return RecordHeader(kind, a, b, version) + std::string(size_t{a} * b, '\xA7');
}

TEST(PatternVersionTest, FileContents) {
  const struct {
    const char* name;
    std::string content;
    PatternVersionStatus status;
    uint16_t version;
  } cases[] = {
      {"first record", Record(kNameKind, 3, 5, 1234) + Trailer(), PatternVersionStatus::kRead, 1234},
      {"after skipped bodies",
       Record(kOtherKind, 300, 7) + Record(kOtherKind, 0, 9) + Record(kNameKind, 2, 2, 65535) + Trailer(),
       PatternVersionStatus::kRead, 65535},
      {"the first of two", Record(kNameKind, 1, 1, 7) + Record(kNameKind, 1, 1, 8), PatternVersionStatus::kRead, 7},
      {"version zero", Record(kNameKind, 0, 0, 0), PatternVersionStatus::kRead, 0},
      {"no record of the kind", Record(kOtherKind, 4, 4) + Trailer(), PatternVersionStatus::kNoVersionRecord, 0},
      {"a body that runs past the end", RecordHeader(kOtherKind, 60000, 60000) + std::string(86, 'x'),
       PatternVersionStatus::kNoVersionRecord, 0},
      {"a short header", Record(kNameKind, 0, 0, 5).substr(0, 13), PatternVersionStatus::kNoVersionRecord, 0},
      {"an empty file", "", PatternVersionStatus::kNoVersionRecord, 0},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Write("vxr.ptn", c.content).string();
    uint16_t version = 0;
    EXPECT_EQ(ReadPatternFileVersion(path.c_str(), &version), c.status);
    EXPECT_EQ(version, c.version);
  }
}

TEST(PatternVersionTest, OpenErrorsKeepTheirClass) {
  TempFolder folder;
  const std::string path = (folder.path() / "vxr.ptn").string();
  uint16_t version = 0;
  EXPECT_EQ(ReadPatternFileVersion(path.c_str(), &version), PatternVersionStatus::kFileMissing);
  std::filesystem::create_directory(path);
  EXPECT_EQ(ReadPatternFileVersion(path.c_str(), &version), PatternVersionStatus::kOpenRefused);
  std::filesystem::remove(path);

  folder.Write("vxr.ptn", Record(kNameKind, 1, 1, 9));
  platform::Result<ReadOnlyFile> writer = ReadOnlyFile::Open(path.c_str());
  ASSERT_TRUE(writer && writer->TryLockExclusive());
  EXPECT_EQ(ReadPatternFileVersion(path.c_str(), &version), PatternVersionStatus::kFileLocked);
  *writer = ReadOnlyFile();
  EXPECT_EQ(ReadPatternFileVersion(path.c_str(), &version), PatternVersionStatus::kRead);
  EXPECT_EQ(version, 9);
}

TEST(PatternVersionTest, AMissingNameIsFoundWithoutRegardToCase) {
  TempFolder folder;
  folder.Write("QLVAMain.ptn", Record(kNameKind, 1, 1, 309));
  uint16_t version = 0;
  EXPECT_EQ(ReadPatternFileVersion((folder.path() / "QLVAmain.ptn").string().c_str(), &version),
            PatternVersionStatus::kRead);
  EXPECT_EQ(version, 309);
}

struct Seen {
  std::vector<uint32_t> kinds;      // every header the filter saw
  std::vector<std::string> bodies;  // every body handed over, unmasked
};

// Walks `content`, reading bodies of `read_kind`, stopping at `stop_kind`; the body handler
// answers `go_on`.
PatternStatus Walk(const std::string& content, Seen* seen, uint32_t read_kind = kNameKind, uint32_t stop_kind = 0,
                   bool go_on = true) {
  TempFolder folder;
  const std::string path = folder.Write("vxr.ptn", content).string();
  return WalkPatternRecords(
      path.c_str(),
      [&](const PatternRecordHeader& header) {
        seen->kinds.push_back(header.kind);
        if (header.kind == stop_kind) return PatternFilterAnswer::kStop;
        return header.kind == read_kind ? PatternFilterAnswer::kRead : PatternFilterAnswer::kSkip;
      },
      [&](const PatternRecordHeader&, std::span<const uint8_t> body) {
        seen->bodies.emplace_back(body.begin(), body.end());
        return go_on;
      });
}

TEST(PatternWalkTest, FilterAndBodyCallbacks) {
  const std::string file =
      pattern_fixture::Record(kOtherKind, "skipped") + pattern_fixture::Record(kNameKind, "first") +
      RecordHeader(kNameKind, 0, 7) +  // an empty body (A = 0)
      RecordHeader(0x1ABDE31A, 3, 2) + Masked("abcdef") + pattern_fixture::Record(kNameKind, "last") + Trailer();
  Seen all;
  EXPECT_EQ(Walk(file, &all), PatternStatus::kDone);
  EXPECT_EQ(all.kinds, (std::vector<uint32_t>{kOtherKind, kNameKind, kNameKind, 0x1ABDE31A, kNameKind}));
  EXPECT_EQ(all.bodies, (std::vector<std::string>{"first", "", "last"}));

  Seen stopped_by_filter;
  EXPECT_EQ(Walk(file, &stopped_by_filter, kNameKind, 0x1ABDE31A), PatternStatus::kDone);
  EXPECT_EQ(stopped_by_filter.kinds.size(), 4u);
  EXPECT_EQ(stopped_by_filter.bodies.size(), 2u);

  Seen stopped_by_body;
  EXPECT_EQ(Walk(file, &stopped_by_body, kNameKind, 0, false), PatternStatus::kDone);
  EXPECT_EQ(stopped_by_body.bodies, std::vector<std::string>{"first"});

  Seen read_all;
  EXPECT_EQ(Walk(file, &read_all, 0x1ABDE31A), PatternStatus::kDone);
  EXPECT_EQ(read_all.bodies, std::vector<std::string>{"abcdef"}) << "a x b bytes, unmasked";
}

TEST(PatternWalkTest, UntrustedLengths) {
  const std::string good = pattern_fixture::Record(kNameKind, "body");
  const struct {
    const char* name;
    std::string content;
    PatternStatus status;
    size_t bodies;
  } cases[] = {
      {"the trailer ends the walk", good + Trailer(), PatternStatus::kDone, 1},
      {"an empty trailer", good + Le(0, 4), PatternStatus::kDone, 1},
      // 65535 x 65535 bytes claimed by a file of a few bytes: never allocated, never handed over.
      {"a body cut short by the end of the file", good + RecordHeader(kNameKind, 0xFFFF, 0xFFFF) + "abc" + Le(0, 4),
       PatternStatus::kDone, 1},
      {"a trailer longer than the file", good + Le(1000, 4), PatternStatus::kUnreadable, 0},
      {"a file shorter than the trailer's length", "abc", PatternStatus::kUnreadable, 0},
      {"a short header before the trailer", good + "short" + Le(0, 4), PatternStatus::kUnreadable, 1},
      {"an empty file", "", PatternStatus::kUnreadable, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Seen seen;
    EXPECT_EQ(Walk(c.content, &seen), c.status);
    EXPECT_EQ(seen.bodies.size(), c.bodies);
  }
}

TEST(PatternWalkTest, EveryTruncationEndsCleanly) {
  const std::string file =
      pattern_fixture::Record(kOtherKind, "skipped") + pattern_fixture::Record(kNameKind, "name body") + Trailer();
  for (size_t size = 0; size < file.size(); ++size) {
    SCOPED_TRACE(size);
    Seen seen;
    const PatternStatus status = Walk(file.substr(0, size), &seen);
    EXPECT_TRUE(status == PatternStatus::kDone || status == PatternStatus::kUnreadable);
    for (const std::string& body : seen.bodies) EXPECT_EQ(body, "name body");
  }
}

TEST(PatternWalkTest, RefusedArgumentsAndMissingFile) {
  auto filter = [](const PatternRecordHeader&) { return PatternFilterAnswer::kRead; };
  auto on_body = [](const PatternRecordHeader&, std::span<const uint8_t>) { return true; };
  EXPECT_EQ(WalkPatternRecords(nullptr, filter, on_body), PatternStatus::kBadArgument);
  EXPECT_EQ(WalkPatternRecords("/x", nullptr, on_body), PatternStatus::kBadArgument);
  EXPECT_EQ(WalkPatternRecords("/x", filter, nullptr), PatternStatus::kBadArgument);
  EXPECT_EQ(WalkPatternRecords("/nonexistent-testkve/vxr.ptn", filter, on_body), PatternStatus::kUnreadable);
}

TEST(PatternUnmaskTest, WordsThenRemainingBytesEqualTheBytewiseXor) {
  std::vector<uint8_t> bytes(41);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37);
  // Every length, and starts that are not word-aligned.
  for (size_t start = 0; start < 4; ++start) {
    for (size_t length = 0; start + length <= bytes.size(); ++length) {
      std::vector<uint8_t> copy = bytes;
      UnmaskPatternBody(std::span(copy).subspan(start, length));
      for (size_t i = 0; i < copy.size(); ++i) {
        const bool inside = i >= start && i < start + length;
        ASSERT_EQ(copy[i], inside ? bytes[i] ^ 0xA7 : bytes[i]) << start << " " << length << " " << i;
      }
    }
  }
}

}  // namespace
