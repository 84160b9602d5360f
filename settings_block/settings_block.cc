#include "settings_block/settings_block.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/little_endian.h"

// Records carry their integers in host order (BlockRecord::Data); the block is little-endian.
static_assert(std::endian::native == std::endian::little, "the settings block is written in host byte order");

namespace {

constexpr uint32_t kRecordHeaderSize = 8;
constexpr size_t kDataOffsetField = 0;
constexpr size_t kDataSizeField = 4;
constexpr size_t kChecksumField = 8;

// The block is little-endian whatever the host's byte order.
uint32_t LoadWord(std::span<const std::byte> bytes, size_t offset) {
  return LoadLittleEndian32(bytes.subspan(offset, 4).data());
}

void StoreWord(std::span<std::byte> bytes, size_t offset, uint32_t word) {
  StoreLittleEndian(bytes.subspan(offset, 4).data(), word, 4);
}

}  // namespace

uint32_t BlockChecksum(std::span<const std::byte> data) {
  // zlib answers a null buffer with its initial value whatever the running value, so an empty
  // span whose pointer is null would give 0xFFFFFFFF instead of the empty input's 0.
  if (data.empty()) return 0;
  // zlib's CRC-32 starts from and ends with a complement; undoing both gives this one.
  uLong crc = 0xFFFFFFFFul;
  crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), data.size());
  return ~static_cast<uint32_t>(crc);
}

SharedBlock::~SharedBlock() = default;

void SharedBlock::Reset() {
  last_read_.reset();
  view_.Unmap();
  handle_.Close();
  writing_open_ = false;
  cursor_ = 0;
  data_end_ = 0;
  fault_ = BlockFault::kNone;
  error_.clear();
}

bool SharedBlock::Fail(BlockFault fault, std::string error) {
  Reset();
  fault_ = fault;
  error_ = std::move(error);
  return false;
}

bool SharedBlock::Map(platform::Result<platform::SharedMemoryHandle> handle, bool writable) {
  if (!handle) return Fail(BlockFault::kUnavailable, std::move(handle).error().text);
  handle_ = std::move(*handle);
  platform::Result<platform::SharedView> view = platform::MapSharedMemory(handle_, writable);
  if (!view) return Fail(BlockFault::kUnavailable, std::move(view).error().text);
  view_ = std::move(*view);
  return true;
}

bool SharedBlock::Create(uint32_t size) {
  Reset();
  if (size < kHeaderSize) {
    return Fail(BlockFault::kUnavailable, "a block of " + std::to_string(size) + " bytes cannot hold its header");
  }
  if (!Map(platform::CreateSharedMemory(size), true)) return false;
  StoreWord(bytes(), kDataOffsetField, kHeaderSize);
  StoreWord(bytes(), kDataSizeField, size - kHeaderSize);
  StoreWord(bytes(), kChecksumField, 0);
  cursor_ = kHeaderSize;
  data_end_ = size;
  return true;
}

bool SharedBlock::Close() {
  handle_.Close();
  return true;
}

bool SharedBlock::Attach(uint32_t process_id, uint32_t handle) {
  Reset();
  if (handle == 0) return Fail(BlockFault::kUnavailable, "the block's handle value is 0");
  if (!Map(platform::DuplicateSharedMemory(process_id, handle), false)) return false;
  if (!CheckHeader()) return false;
  std::span<const std::byte> data = bytes().subspan(kHeaderSize, data_end_ - kHeaderSize);
  uint32_t stored = LoadWord(bytes(), kChecksumField);
  uint32_t computed = BlockChecksum(data);
  if (stored != computed) {
    char text[96];
    std::snprintf(text, sizeof text, "checksum 0x%08X of the data does not match 0x%08X", computed, stored);
    return Fail(BlockFault::kBadChecksum, text);
  }
  cursor_ = kHeaderSize;
  return true;
}

bool SharedBlock::CheckHeader() {
  const size_t size = bytes().size();
  if (size < kHeaderSize) {
    return Fail(BlockFault::kBadHeader, "the block has " + std::to_string(size) + " bytes, less than its header");
  }
  uint32_t data_offset = LoadWord(bytes(), kDataOffsetField);
  uint32_t data_size = LoadWord(bytes(), kDataSizeField);
  if (data_offset != kHeaderSize) {
    return Fail(BlockFault::kBadHeader,
                "data offset " + std::to_string(data_offset) + " is not " + std::to_string(kHeaderSize));
  }
  if (data_size == 0 || data_size > size - kHeaderSize) {
    return Fail(BlockFault::kBadHeader, "data size " + std::to_string(data_size) + " does not fit a block of " +
                                            std::to_string(size) + " bytes");
  }
  data_end_ = kHeaderSize + data_size;
  return true;
}

std::span<const std::byte> SharedBlock::Remaining() const {
  if (!view_.is_mapped() || cursor_ >= data_end_) return {};
  return bytes().subspan(cursor_, data_end_ - cursor_);
}

std::optional<uint32_t> SharedBlock::Peek() const {
  std::span<const std::byte> rest = Remaining();
  if (rest.size() < kRecordHeaderSize) return std::nullopt;
  uint32_t length = LoadWord(rest, 4);
  if (length > rest.size() - kRecordHeaderSize) return std::nullopt;
  return LoadWord(rest, 0);
}

const BlockRecord* SharedBlock::ReadNext(uint32_t id) {
  if (!Peek()) return nullptr;
  std::span<const std::byte> rest = Remaining();
  uint32_t length = LoadWord(rest, 4);
  std::unique_ptr<BlockRecord> record = BuildRecord(id, rest.subspan(kRecordHeaderSize, length));
  cursor_ += kRecordHeaderSize + length;
  // A record that could not be built must not be mistaken for the one read before it.
  if (record == nullptr) return nullptr;
  last_read_ = std::move(record);
  return last_read_.get();
}

std::unique_ptr<BlockRecord> SharedBlock::BuildRecord(uint32_t id, std::span<const std::byte> data) const {
  switch (SettingClassOf(id)) {
    case kStringClass: {
      // The text must end inside its record: nothing past the record is ever read.
      auto nul = std::find(data.begin(), data.end(), std::byte{0});
      if (nul == data.end()) return nullptr;
      std::string_view text(reinterpret_cast<const char*>(data.data()), static_cast<size_t>(nul - data.begin()));
      return std::make_unique<StringRecord>(id, text);
    }
    case kFlagClass:
      if (data.empty()) return nullptr;
      return std::make_unique<FlagRecord>(id, static_cast<int8_t>(data[0]));
    case kValueClass:
      if (data.size() < 4) return nullptr;
      return std::make_unique<ValueRecord>(id, static_cast<int32_t>(LoadWord(data, 0)));
    default:
      return nullptr;
  }
}

std::unique_ptr<BlockRecord> SharedBlock::Forget() { return std::move(last_read_); }

bool SharedBlock::Append(const BlockRecord& record) {
  if (!writing_open_ || !view_.is_mapped()) return false;
  const uint64_t size = uint64_t{kRecordHeaderSize} + record.length();
  if (cursor_ + size > data_end_) return false;
  std::span<std::byte> at = bytes().subspan(cursor_, static_cast<size_t>(size));
  StoreWord(at, 0, record.id());
  StoreWord(at, 4, record.length());
  std::memcpy(at.data() + kRecordHeaderSize, record.Data(), record.length());
  cursor_ += static_cast<uint32_t>(size);
  return true;
}

uint32_t SharedBlock::Handle() const {
  return handle_.is_open() ? static_cast<uint32_t>(handle_.value()) : kInvalidHandle;
}

void SharedBlock::Finish() {
  writing_open_ = false;
  cursor_ = kHeaderSize;
  if (!view_.is_mapped()) return;
  std::span<const std::byte> data = bytes().subspan(kHeaderSize, data_end_ - kHeaderSize);
  StoreWord(bytes(), kChecksumField, BlockChecksum(data));
}
