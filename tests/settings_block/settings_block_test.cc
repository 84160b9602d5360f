#include "settings_block/settings_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine_control/launch_fixtures.h"
#include "engine_sdk/engine_settings.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "support/damaged_copies.h"
#include "support/wine.h"
#include "vxr_lib.h"

namespace {

using engine_sdk::EngineSetting;
using engine_sdk::ReadStatus;
using engine_sdk::SettingKind;
using Bytes = std::vector<uint8_t>;

std::span<const std::byte> AsBytes(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }

Bytes Copy(std::span<const std::byte> bytes) {
  Bytes copy(bytes.size());
  std::memcpy(copy.data(), bytes.data(), bytes.size());
  return copy;
}

void PutWord(Bytes* bytes, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes->push_back(static_cast<uint8_t>(word >> shift));
}

// A block with a sound header and checksum around an arbitrary data area.
Bytes BlockAround(const Bytes& data) {
  Bytes block;
  PutWord(&block, 12);
  PutWord(&block, static_cast<uint32_t>(data.size()));
  PutWord(&block, BlockChecksum(std::as_bytes(std::span(data))));
  block.insert(block.end(), data.begin(), data.end());
  return block;
}

// `bytes` as a shared-memory object of exactly their size, the way a harness would hold it.
platform::SharedMemoryHandle RawBlock(const Bytes& bytes) {
  platform::Result<platform::SharedMemoryHandle> handle = platform::CreateSharedMemory(bytes.size());
  if (!handle) return {};
  platform::Result<platform::SharedView> view = platform::MapSharedMemory(*handle, true);
  if (view) std::memcpy(view->bytes().data(), bytes.data(), bytes.size());
  return std::move(*handle);
}

bool AttachTo(SharedBlock* reader, const platform::SharedMemoryHandle& handle) {
  return reader->Attach(platform::CurrentProcessId(), static_cast<uint32_t>(handle.value()));
}

// Records of every kind, for the round trip and the damage loops.
RecordList MixedRecords() {
  RecordList records;
  records.String(VXR_STR_REPORT_DIR, "report")
      .String(VXR_STR_SCAN_VIRUS_PATTERN, "a\nb")
      .String(VXR_STR_EXTRA_OUTPUTS, "")
      .Flag(VXR_FLG_BACKUP_FILE, 1)
      .Value(VXR_INT_DEBUG_INFO_LEVEL, -5)
      .Value(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN)
      .Terminate();
  return records;
}

TEST(BlockChecksumTest, IsReflectedCrc32WithZeroStartAndNoFinalComplement) {
  struct Case {
    std::string_view data;
    uint32_t crc;
  } cases[] = {{"", 0}, {"abc", 0xCA6598D0}, {"123456789", 0x2DFD2D88}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.data));
    EXPECT_EQ(c.crc, BlockChecksum(AsBytes(c.data)));
  }
  EXPECT_EQ(0u, BlockChecksum({})) << "an empty span with a null pointer is empty input too";
}

TEST(SharedBlockTest, ExecuteModeBlockIsThirtySixLittleEndianBytes) {
  SKIP_UNDER_WINE(
      "NtQuerySection gives a section's size rounded up to whole pages, so a view is never the block's exact size");
  SharedBlock block;
  ASSERT_TRUE(WriteBlock(&block, RecordList().Value(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN).Terminate()));
  const Bytes expected = {
      0x0C, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x11, 0x3D, 0x1A, 0x45,  // header
      0x03, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,  // execute mode
      0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // terminator
  };
  EXPECT_EQ(expected, Copy(block.bytes()));
  EXPECT_EQ(SharedBlock::kHeaderSize, block.cursor());
}

TEST(SharedBlockTest, StringRecordHoldsTheTextAndItsNul) {
  StringRecord ab(VXR_STR_PATTERN_DIR, "ab");
  EXPECT_EQ(11u, ab.Size());
  SharedBlock block;
  ASSERT_TRUE(WriteBlock(&block, RecordList().String(VXR_STR_PATTERN_DIR, "ab").Terminate()));
  const Bytes expected = {0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 0x00};
  EXPECT_EQ(expected, Copy(block.bytes().subspan(12, 11)));
  EXPECT_EQ(1u, StringRecord(VXR_STR_PATTERN_DIR, "").length());
}

TEST(BlockRecordTest, SettingRecordKindFollowsTheTopByte) {
  struct Case {
    uint32_t id;
    int kind;  // 0 string, 1 flag, 2 value, -1 none
  } cases[] = {{VXR_STR_REPORT_DIR, 0},   {0x00FFFFFF, 0}, {VXR_FLG_BACKUP_FILE, 1}, {0x03000000, 1}, {0x05000001, 1},
               {VXR_INT_EXECUTE_MODE, 2}, {0x06000000, 2}, {0x04000000, -1},         {0x80000001, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::unique_ptr<BlockRecord> record = MakeSettingRecord(c.id, 7, "text");
    if (c.kind < 0) {
      EXPECT_EQ(nullptr, record);
      continue;
    }
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(c.id, record->id());
    if (c.kind == 0) {
      EXPECT_EQ(13u, record->Size());
      EXPECT_STREQ("text", static_cast<const char*>(record->Data()));
    } else {
      EXPECT_EQ(12u, record->Size());
      EXPECT_EQ(c.kind == 1 ? 1 : 7, static_cast<IntegerRecord&>(*record).value());
    }
  }
}

TEST(SharedBlockTest, AppendNeedsWritingOpenAndRoom) {
  SharedBlock block;
  ValueRecord value(VXR_INT_EXECUTE_MODE, SCAN_ALL_WITH_CLEAN);
  ASSERT_TRUE(block.Create(12 + 12 + 11));
  EXPECT_FALSE(block.Append(value)) << "writing is not open";
  block.OpenForWriting();
  EXPECT_TRUE(block.Append(value));
  EXPECT_FALSE(block.Append(StringRecord(1, "abc"))) << "12 bytes do not fit in 11";
  EXPECT_TRUE(block.Append(StringRecord(1, "ab")));
  EXPECT_FALSE(block.Append(StringRecord(1, "")));
  block.Finish();
  EXPECT_FALSE(block.Append(value)) << "finish closes writing";
  EXPECT_FALSE(block.Create(11)) << "no room for the header";
  EXPECT_EQ(BlockFault::kUnavailable, block.fault());
}

TEST(SharedBlockTest, TheEngineSideReadsBackEveryRecordInOrder) {
  SharedBlock writer;
  RecordList records = MixedRecords();
  ASSERT_TRUE(WriteBlock(&writer, records));
  SharedBlock reader;
  ASSERT_TRUE(reader.Attach(platform::CurrentProcessId(), writer.Handle())) << reader.error();

  std::vector<EngineSetting> settings;
  std::string error;
  ASSERT_EQ(ReadStatus::kOk, engine_sdk::ReadBlockSettings(reader, &settings, &error)) << error;
  const std::vector<EngineSetting> expected = {
      {VXR_STR_REPORT_DIR, SettingKind::kString, 0, "report"},
      {VXR_STR_SCAN_VIRUS_PATTERN, SettingKind::kString, 0, "a\nb"},
      {VXR_STR_EXTRA_OUTPUTS, SettingKind::kString, 0, ""},
      {VXR_FLG_BACKUP_FILE, SettingKind::kFlag, 1, ""},
      {VXR_INT_DEBUG_INFO_LEVEL, SettingKind::kValue, -5, ""},
      {VXR_INT_EXECUTE_MODE, SettingKind::kValue, SCAN_ALL_WITH_CLEAN, ""},
  };
  EXPECT_EQ(expected, settings);
}

// The engine reads a flag record's first data byte, sign-extended; the other three bytes
// do not count.
TEST(SharedBlockTest, TheEngineSideSignExtendsTheFirstByteOfAFlagRecord) {
  const struct {
    int32_t written;  // the four data bytes, little-endian
    int32_t read;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {0x7F, 127}, {0xFF, -1}, {0x80, -128}, {0x0100, 0}, {-1, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    SharedBlock writer;
    ASSERT_TRUE(WriteBlock(&writer, RecordList().Value(VXR_FLG_BACKUP_FILE, c.written).Terminate()));
    SharedBlock reader;
    ASSERT_TRUE(reader.Attach(platform::CurrentProcessId(), writer.Handle())) << reader.error();
    std::vector<EngineSetting> settings;
    std::string error;
    ASSERT_EQ(ReadStatus::kOk, engine_sdk::ReadBlockSettings(reader, &settings, &error)) << error;
    ASSERT_EQ(1u, settings.size());
    EXPECT_EQ(SettingKind::kFlag, settings[0].kind);
    EXPECT_EQ(c.read, settings[0].value);
  }
}

TEST(SharedBlockTest, RecordsOfAnotherClassAreSkippedNotMistakenForTheLastOne) {
  SharedBlock writer;
  // The launch gives top byte 0x03 a flag record; readers know only classes 0 to 2.
  ASSERT_TRUE(WriteBlock(
      &writer,
      RecordList().Value(VXR_INT_EXECUTE_MODE, 9).Flag(0x03000001, 1).Flag(VXR_FLG_BACKUP_FILE, 0).Terminate()));
  SharedBlock reader;
  ASSERT_TRUE(reader.Attach(platform::CurrentProcessId(), writer.Handle())) << reader.error();
  ASSERT_NE(nullptr, reader.ReadNext(*reader.Peek()));
  EXPECT_EQ(0x03000001u, reader.Peek());
  EXPECT_EQ(nullptr, reader.ReadNext(0x03000001));
  EXPECT_EQ(VXR_FLG_BACKUP_FILE, reader.Peek());
  std::unique_ptr<BlockRecord> value = reader.Forget();
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(VXR_INT_EXECUTE_MODE, value->id());

  SharedBlock again;
  ASSERT_TRUE(again.Attach(platform::CurrentProcessId(), writer.Handle()));
  std::vector<EngineSetting> settings;
  std::string error;
  ASSERT_EQ(ReadStatus::kOk, engine_sdk::ReadBlockSettings(again, &settings, &error)) << error;
  ASSERT_EQ(2u, settings.size());
  EXPECT_EQ(VXR_FLG_BACKUP_FILE, settings[1].id);
}

TEST(SharedBlockTest, AttachFailsForAWrongProcessAWrongHandleOrAChangedBlock) {
  SharedBlock writer;
  ASSERT_TRUE(WriteBlock(&writer, MixedRecords()));
  const std::vector<std::string> argv = {"/bin/true"};
  platform::ChildProcess ended = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared);
  const uint32_t ended_pid = static_cast<uint32_t>(ended.process_id());
  ended.Wait();
  const uint32_t unused_handle = 999999;
  const uint32_t self = platform::CurrentProcessId();

  struct Case {
    const char* what;
    uint32_t process_id;
    uint32_t handle;
    BlockFault fault;
  } cases[] = {
      {"ended process", ended_pid, writer.Handle(), BlockFault::kUnavailable},
      {"handle 0", self, 0, BlockFault::kUnavailable},
      {"handle not open", self, unused_handle, BlockFault::kUnavailable},
      {"standard error", self, 2, BlockFault::kUnavailable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SharedBlock reader;
    EXPECT_FALSE(reader.Attach(c.process_id, c.handle));
    EXPECT_EQ(c.fault, reader.fault());
    EXPECT_FALSE(reader.error().empty());
    EXPECT_FALSE(reader.Peek().has_value());
  }

  writer.bytes()[20] ^= std::byte{0x01};
  SharedBlock reader;
  EXPECT_FALSE(reader.Attach(self, writer.Handle()));
  EXPECT_EQ(BlockFault::kBadChecksum, reader.fault());
  EXPECT_NE(std::string::npos, reader.error().find("checksum")) << reader.error();
}

TEST(SharedBlockTest, EveryTruncationOfABlockIsRefused) {
  SKIP_UNDER_WINE(
      "NtQuerySection gives a section's size rounded up to whole pages, so a view is never the block's exact size");
  SharedBlock writer;
  ASSERT_TRUE(WriteBlock(&writer, MixedRecords()));
  const Bytes whole = Copy(writer.bytes());
  for (const auto& cut : CutCopies(whole, 1)) {
    SCOPED_TRACE(cut.what);
    platform::SharedMemoryHandle raw = RawBlock(cut.bytes);
    ASSERT_TRUE(raw.is_open());
    SharedBlock reader;
    EXPECT_FALSE(AttachTo(&reader, raw));
    EXPECT_EQ(BlockFault::kBadHeader, reader.fault());
  }
}

TEST(SharedBlockTest, EverySingleByteCorruptionIsRefused) {
  SKIP_UNDER_WINE(
      "NtQuerySection gives a section's size rounded up to whole pages, so a view is never the block's exact size");
  SharedBlock writer;
  ASSERT_TRUE(WriteBlock(&writer, MixedRecords()));
  const Bytes whole = Copy(writer.bytes());
  for (const auto& damaged : FlippedCopies(whole)) {
    SCOPED_TRACE(damaged.what);
    platform::SharedMemoryHandle raw = RawBlock(damaged.bytes);
    SharedBlock reader;
    EXPECT_FALSE(AttachTo(&reader, raw));
    EXPECT_NE(BlockFault::kUnavailable, reader.fault());
  }
}

TEST(SettingsReaderTest, MalformedRecordsFailCleanlyEvenWithAValidChecksum) {
  auto record = [](uint32_t id, uint32_t length, Bytes data) {
    Bytes bytes;
    PutWord(&bytes, id);
    PutWord(&bytes, length);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
  };
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
  };
  const Bytes terminator = record(0, 4, {0, 0, 0, 0});
  struct Case {
    const char* what;
    Bytes data;
  } cases[] = {
      {"no terminator", record(VXR_FLG_BACKUP_FILE, 4, {1, 0, 0, 0})},
      {"length past the end", join({record(VXR_STR_REPORT_DIR, 200, {'a', 0}), terminator})},
      {"length near 2^32", join({record(VXR_STR_REPORT_DIR, 0xFFFFFFF8, {'a', 0}), terminator})},
      {"string without its NUL", join({record(VXR_STR_REPORT_DIR, 2, {'a', 'b'}), terminator})},
      {"string of length 0", join({record(VXR_STR_REPORT_DIR, 0, {}), terminator})},
      {"flag of length 0", join({record(VXR_FLG_BACKUP_FILE, 0, {}), terminator})},
      {"value of 2 bytes", join({record(VXR_INT_EXECUTE_MODE, 2, {1, 0}), terminator})},
      {"terminator cut short", join({record(VXR_FLG_BACKUP_FILE, 4, {1, 0, 0, 0}), {0, 0, 0, 0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::SharedMemoryHandle raw = RawBlock(BlockAround(c.data));
    SharedBlock reader;
    ASSERT_TRUE(AttachTo(&reader, raw)) << reader.error();
    std::vector<EngineSetting> settings;
    std::string error;
    EXPECT_EQ(ReadStatus::kBadRecords, engine_sdk::ReadBlockSettings(reader, &settings, &error));
    EXPECT_TRUE(settings.empty());
    EXPECT_FALSE(error.empty());
  }
}

TEST(SettingsReaderTest, EveryTruncatedDataAreaFailsCleanlyEvenWithAValidChecksum) {
  SKIP_UNDER_WINE(
      "NtQuerySection gives a section's size rounded up to whole pages, so a view is never the block's exact size");
  SharedBlock writer;
  ASSERT_TRUE(WriteBlock(&writer, MixedRecords()));
  const Bytes data = Copy(writer.bytes().subspan(SharedBlock::kHeaderSize));
  for (const auto& cut : CutCopies(data, 1)) {
    SCOPED_TRACE(cut.what);
    platform::SharedMemoryHandle raw = RawBlock(BlockAround(cut.bytes));
    SharedBlock reader;
    ASSERT_TRUE(AttachTo(&reader, raw)) << reader.error();
    std::vector<EngineSetting> settings;
    std::string error;
    EXPECT_EQ(ReadStatus::kBadRecords, engine_sdk::ReadBlockSettings(reader, &settings, &error));
  }
}

}  // namespace
