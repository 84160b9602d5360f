#include "platform/mailslot_record.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

#include "platform/little_endian.h"
#include "platform/mailslot.h"

namespace platform {
namespace {

constexpr char kMagic[] = {'M', 'S', 'L', '\xA5'};
constexpr size_t kMagicSize = sizeof kMagic;
constexpr std::string_view kMagicText(kMagic, kMagicSize);
static_assert(kMailslotRecordHeaderSize == kMagicSize + 8);

uint32_t RecordChecksum(const char* length_field, std::string_view message) {
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(length_field), 4);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(message.data()), static_cast<uInt>(message.size()));
  return static_cast<uint32_t>(crc);
}

}  // namespace

std::array<char, kMailslotRecordHeaderSize> MailslotRecordHeader(std::string_view message) {
  std::array<char, kMailslotRecordHeaderSize> header;
  std::copy(kMagic, kMagic + kMagicSize, header.begin());
  StoreLittleEndian(header.data() + kMagicSize, message.size(), 4);
  StoreLittleEndian(header.data() + kMagicSize + 4, RecordChecksum(header.data() + kMagicSize, message), 4);
  return header;
}

std::string MailslotRecord(std::string_view message) {
  const std::array<char, kMailslotRecordHeaderSize> header = MailslotRecordHeader(message);
  std::string record(header.data(), header.size());
  record.append(message);
  return record;
}

MailslotRecordState CheckMailslotRecord(std::string_view bytes, size_t* size) {
  if (bytes.substr(0, kMagicSize) != kMagicText.substr(0, std::min(bytes.size(), kMagicSize)))
    return MailslotRecordState::kBroken;
  if (bytes.size() < kMailslotRecordHeaderSize) return MailslotRecordState::kIncomplete;
  const uint32_t length = LoadLittleEndian32(bytes.data() + kMagicSize);
  if (length > kMailslotMaxMessage) return MailslotRecordState::kBroken;
  if (bytes.size() < kMailslotRecordHeaderSize + length) return MailslotRecordState::kIncomplete;
  const uint32_t stored = LoadLittleEndian32(bytes.data() + kMagicSize + 4);
  if (stored != RecordChecksum(bytes.data() + kMagicSize, bytes.substr(kMailslotRecordHeaderSize, length)))
    return MailslotRecordState::kBroken;
  *size = kMailslotRecordHeaderSize + length;
  return MailslotRecordState::kWhole;
}

size_t FindWholeMailslotRecord(std::string_view bytes, size_t from, size_t limit) {
  for (size_t at = bytes.find(kMagicText, from); at < limit; at = bytes.find(kMagicText, at + 1)) {
    size_t size = 0;
    if (CheckMailslotRecord(bytes.substr(at), &size) == MailslotRecordState::kWhole) return at;
  }
  return std::string_view::npos;
}

size_t NextMailslotRecordCandidate(std::string_view bytes, size_t from, size_t limit) {
  const size_t found = bytes.find(kMagicText, from);
  if (found != std::string_view::npos) return std::min(found, limit);
  for (size_t at = std::max(from, bytes.size() >= kMagicSize ? bytes.size() - kMagicSize + 1 : 0); at < bytes.size();
       ++at) {
    if (kMagicText.starts_with(bytes.substr(at))) return std::min(at, limit);
  }
  return limit;
}

}  // namespace platform
