// The settings store of a scan context: insertion order, in-place updates, lists, magics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_control/scan_context.h"
#include "vxr_lib.h"

namespace {

constexpr int32_t kMagicA = 0x1ABDD51A;
constexpr int32_t kMagicB = 0x1ABDE31A;

std::string Text(const ScanContext& context, uint32_t id) {
  uint32_t size = 0;
  if (context.GetString(id, nullptr, &size) != VXR_LIB_SUCCESS) return "<none>";
  std::string text(size, '\0');
  EXPECT_EQ(context.GetString(id, text.data(), &size), VXR_LIB_SUCCESS);
  text.resize(size - 1);
  return text;
}

struct Entry {
  uint32_t id;
  int32_t number;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> Entries(const ScanContext& context) {
  std::vector<Entry> entries;
  for (const auto& setting : context.settings()) entries.push_back({setting->id(), setting->number()});
  return entries;
}

TEST(StoreTest, ListIdsAppendAfterALineFeedOtherIdsReplace) {
  const struct {
    uint32_t id;
    const char* expected;
  } cases[] = {
      {VXR_STR_EXTRA_OUTPUTS, "A\nB\nC"},
      {VXR_STR_SCAN_VIRUS_PATTERN, "A\nB\nC"},
      {VXR_STR_EXCEPT_VIRUS_PATTERN, "A\nB\nC"},
      {VXR_STR_RESTORE_VIRUS_PATTERN, "A\nB\nC"},
      {VXR_STR_VIRUS_FILE_PATH, "A\nB\nC"},
      {VXR_STR_VIRUS_NAME_MORVA, "A\nB\nC"},
      {VXR_STR_BACKUP_DIR, "C"},
      {VXR_STR_PATTERN_DIR, "C"},
      {0, "C"},
      {17, "C"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ScanContext context("/e/vxr.exe");
    for (const char* text : {"A", "B", "C"}) EXPECT_EQ(context.SetString(c.id, text), VXR_LIB_SUCCESS);
    EXPECT_EQ(Text(context, c.id), c.expected);
    EXPECT_EQ(context.settings().size(), 1u);
  }
}

TEST(StoreTest, ListFirstSetToEmptyTextTakesTheNextWithoutALeadingLineFeed) {
  ScanContext context("");
  context.SetString(VXR_STR_SCAN_VIRUS_PATTERN, "");
  EXPECT_EQ(Text(context, VXR_STR_SCAN_VIRUS_PATTERN), "");
  context.SetString(VXR_STR_SCAN_VIRUS_PATTERN, "B");
  EXPECT_EQ(Text(context, VXR_STR_SCAN_VIRUS_PATTERN), "B");
  // An empty text in the middle of a list is kept as an empty line.
  context.SetString(VXR_STR_SCAN_VIRUS_PATTERN, "");
  context.SetString(VXR_STR_SCAN_VIRUS_PATTERN, "C");
  EXPECT_EQ(Text(context, VXR_STR_SCAN_VIRUS_PATTERN), "B\n\nC");
}

TEST(StoreTest, SettingsKeepTheOrderOfFirstInsertionAndUpdateInPlace) {
  ScanContext context("");
  context.SetValue(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN);
  context.SetFlag(VXR_FLG_BACKUP_FILE, 0);
  context.SetValue(VXR_INT_DEBUG_INFO_LEVEL, 2);
  context.SetFlag(VXR_FLG_BACKUP_FILE, 7);
  context.SetValue(VXR_INT_EXECUTE_MODE, RESTORE_ONLY);
  EXPECT_EQ(Entries(context),
            (std::vector<Entry>{
                {VXR_INT_EXECUTE_MODE, RESTORE_ONLY}, {VXR_FLG_BACKUP_FILE, 1}, {VXR_INT_DEBUG_INFO_LEVEL, 2}}));
}

TEST(StoreTest, PatternMagicsCancelTheFirstOppositeEntry) {
  const struct {
    const char* name;
    std::vector<Entry> sets;
    std::vector<Entry> expected;
  } cases[] = {
      {"enable then disable",
       {{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}, {VXR_INT_DISABLE_PATTERN_MAGIC, kMagicA}},
       {{VXR_INT_DISABLE_PATTERN_MAGIC, kMagicA}}},
      {"enable twice",
       {{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}, {VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}},
       {{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}, {VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}}},
      {"another magic is not cancelled",
       {{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}, {VXR_INT_DISABLE_PATTERN_MAGIC, kMagicB}},
       {{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}, {VXR_INT_DISABLE_PATTERN_MAGIC, kMagicB}}},
      {"only the first of two is cancelled, the list closes up",
       {{VXR_INT_DISABLE_PATTERN_MAGIC, kMagicA},
        {VXR_INT_ENABLE_PATTERN_MAGIC, kMagicB},
        {VXR_INT_DISABLE_PATTERN_MAGIC, kMagicA},
        {VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}},
       {{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicB},
        {VXR_INT_DISABLE_PATTERN_MAGIC, kMagicA},
        {VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScanContext context("");
    for (const Entry& set : c.sets) EXPECT_EQ(context.SetValue(set.id, set.number), VXR_LIB_SUCCESS);
    EXPECT_EQ(Entries(context), c.expected);
  }
}

// A flag Set on a pattern-magic ID follows the same list rule as a value Set, with the flag's
// value 0 or 1: it never assigns an earlier entry in place.
TEST(StoreTest, FlagSetsOnPatternMagicIdsFollowTheListRule) {
  ScanContext context("");
  context.SetValue(VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA);
  context.SetFlag(VXR_INT_ENABLE_PATTERN_MAGIC, 7);
  context.SetValue(VXR_INT_DISABLE_PATTERN_MAGIC, 1);
  context.SetFlag(VXR_INT_DISABLE_PATTERN_MAGIC, 0);
  context.SetFlag(VXR_INT_ENABLE_PATTERN_MAGIC, 0);
  EXPECT_EQ(Entries(context), (std::vector<Entry>{{VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA},
                                                  {VXR_INT_DISABLE_PATTERN_MAGIC, 1},
                                                  {VXR_INT_ENABLE_PATTERN_MAGIC, 0}}))
      << "the disable of 1 cancels the flag's enable of 1, the enable of 0 the disable of 0";
}

TEST(StoreTest, GetOfAPatternMagicIdReturnsItsFirstEntry) {
  ScanContext context("");
  context.SetValue(VXR_INT_ENABLE_PATTERN_MAGIC, kMagicB);
  context.SetValue(VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA);
  int32_t value = 0;
  EXPECT_EQ(context.GetNumber(VXR_INT_ENABLE_PATTERN_MAGIC, &value), VXR_LIB_SUCCESS);
  EXPECT_EQ(value, kMagicB);
}

TEST(StoreTest, GetOfAnIdNeverSetFailsAndCreatesNothing) {
  ScanContext context("");
  int32_t number = 5;
  uint32_t size = 0;
  EXPECT_EQ(context.GetNumber(VXR_FLG_BACKUP_FILE, &number), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(context.GetString(VXR_STR_BACKUP_DIR, nullptr, &size), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(number, 5);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(context.settings().empty());
}

TEST(StoreTest, GetStringFollowsTheBufferRules) {
  ScanContext context("");
  context.SetString(VXR_STR_REPORT_DIR, "report");
  uint32_t size = 0;
  ASSERT_EQ(context.GetString(VXR_STR_REPORT_DIR, nullptr, &size), VXR_LIB_SUCCESS);
  EXPECT_EQ(size, 7u);
  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 'x');
  size = 6;
  EXPECT_EQ(context.GetString(VXR_STR_REPORT_DIR, buffer, &size), VXR_LIB_BUFFER_TOO_SHORT);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(buffer[0], 'x') << "nothing is copied into a buffer that is too short";
  size = sizeof(buffer);
  EXPECT_EQ(context.GetString(VXR_STR_REPORT_DIR, buffer, &size), VXR_LIB_SUCCESS);
  EXPECT_EQ(size, sizeof(buffer));
  EXPECT_STREQ(buffer, "report");
}

// A Set never changes what kind of setting an ID holds, so a text is never read as a number
// or a number as a text; flag and value Sets share the numeric settings.
TEST(StoreTest, ASetOfAnotherKindThanTheStoredSetting) {
  ScanContext context("");
  context.SetString(VXR_STR_BACKUP_DIR, "backup");
  context.SetFlag(VXR_FLG_BACKUP_FILE, 1);
  context.SetValue(VXR_INT_DEBUG_INFO_LEVEL, 3);
  context.SetValue(0x03000001, 1);

  EXPECT_EQ(context.SetFlag(VXR_STR_BACKUP_DIR, 1), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(context.SetValue(VXR_STR_BACKUP_DIR, 1), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(context.SetString(VXR_FLG_BACKUP_FILE, "x"), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(context.SetString(VXR_INT_DEBUG_INFO_LEVEL, "x"), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(Text(context, VXR_STR_BACKUP_DIR), "backup");

  EXPECT_EQ(context.SetFlag(VXR_INT_DEBUG_INFO_LEVEL, 9), VXR_LIB_SUCCESS);
  EXPECT_EQ(context.SetValue(0x03000001, 9), VXR_LIB_SUCCESS);
  context.SetFlag(0x03000002, 1);
  EXPECT_EQ(context.SetValue(0x03000002, 9), VXR_LIB_SUCCESS);
  EXPECT_EQ(Entries(context), (std::vector<Entry>{{VXR_STR_BACKUP_DIR, 0},
                                                  {VXR_FLG_BACKUP_FILE, 1},
                                                  {VXR_INT_DEBUG_INFO_LEVEL, 1},
                                                  {0x03000001, 9},
                                                  {0x03000002, 1}}))
      << "a flag setting stays 0 or 1 whatever number it is given";
}

TEST(StoreTest, PatternMagicSetOnAnIdHoldingAStringIsRefused) {
  ScanContext context("");
  context.SetString(VXR_INT_DISABLE_PATTERN_MAGIC, "text");
  context.SetString(VXR_INT_ENABLE_PATTERN_MAGIC, "text");
  EXPECT_EQ(context.SetValue(VXR_INT_ENABLE_PATTERN_MAGIC, kMagicA), VXR_LIB_INVALID_PARAMETER);
  EXPECT_EQ(context.settings().size(), 2u);
}

struct RecordView {
  uint32_t id;
  uint32_t length;
  std::string data;
  bool operator==(const RecordView&) const = default;
};

std::vector<RecordView> Records(const ScanContext& context) {
  std::vector<RecordView> views;
  for (const auto& record : context.records()) {
    const char* data = static_cast<const char*>(record->Data());
    views.push_back({record->id(), record->length(), std::string(data, record->length())});
  }
  return views;
}

std::string Int32Bytes(int32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
  return bytes;
}

TEST(StoreTest, RecordsFollowTheSettingsWithTheTerminatorLast) {
  ScanContext context("");
  context.SetString(VXR_STR_REPORT_DIR, "ab");
  context.SetFlag(VXR_FLG_BACKUP_FILE, 5);
  context.SetValue(VXR_INT_EXECUTE_MODE, SCAN_ASSIGN);
  context.SetValue(0x04000001, 9);  // a class that has no record kind
  ASSERT_TRUE(context.RebuildRecords());
  EXPECT_EQ(Records(context), (std::vector<RecordView>{{VXR_STR_REPORT_DIR, 3, std::string("ab\0", 3)},
                                                       {VXR_FLG_BACKUP_FILE, 4, Int32Bytes(1)},
                                                       {VXR_INT_EXECUTE_MODE, 4, Int32Bytes(SCAN_ASSIGN)},
                                                       {0, 4, Int32Bytes(0)}}));
  EXPECT_EQ(context.records_size(), 11u + 12u + 12u + 12u);

  // Rebuilding starts over rather than adding to the last records.
  ASSERT_TRUE(context.RebuildRecords());
  EXPECT_EQ(context.records().size(), 4u);
  EXPECT_EQ(context.records_size(), 47u);
}

// A setting whose kind does not match its ID's class is handed over in the ID's kind from
// the setting's own typed view, never by reading a number as a text or the other way round.
TEST(StoreTest, RecordsOfSettingsStoredUnderAnotherClass) {
  ScanContext context("");
  context.SetFlag(VXR_STR_BACKUP_DIR, 1);
  context.SetString(0x01000020, "7");
  ASSERT_TRUE(context.RebuildRecords());
  EXPECT_EQ(Records(context),
            (std::vector<RecordView>{
                {VXR_STR_BACKUP_DIR, 1, std::string(1, '\0')}, {0x01000020, 4, Int32Bytes(0)}, {0, 4, Int32Bytes(0)}}));
}

}  // namespace
