#include "pattern_reader/pattern_file.h"

#include <array>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/file_open.h"
#include "platform/folder_entry.h"
#include "platform/little_endian.h"

namespace {

constexpr size_t kTrailerLengthBytes = 4;

// The pattern folder ignores case for a missing exact name; every pattern open goes here.
platform::Result<ReadOnlyFile> OpenPatternFile(const char* path) {
  if (path == nullptr) return ReadOnlyFile::Open(nullptr);
  const std::string resolved = platform::ResolveEntryIgnoringCase(path);
  return ReadOnlyFile::Open(resolved.c_str());
}

// How an open that failed ends a version read: the classes of the system's open errors that
// callers tell apart (not found, lock violation, open failed), or any other.
PatternVersionStatus OpenFailure(const platform::Error& error) {
  switch (error.kind) {
    case platform::ErrorKind::kNotFound:
      return PatternVersionStatus::kFileMissing;
    case platform::ErrorKind::kBusy:
      return PatternVersionStatus::kFileLocked;
    case platform::ErrorKind::kDenied:
      return PatternVersionStatus::kOpenRefused;
    default:
      return PatternVersionStatus::kOpenFailed;
  }
}

bool ReadHeader(const ReadOnlyFile& file, uint64_t position, PatternRecordHeader* header) {
  std::array<uint8_t, kPatternRecordHeaderSize> bytes{};
  if (file.ReadAt(position, std::as_writable_bytes(std::span(bytes))) != static_cast<int64_t>(bytes.size())) {
    return false;
  }
  *header = DecodePatternRecordHeader(bytes);
  return true;
}

// Where the records end: before the signature and its 4-byte length. -1 when the length
// cannot be read or claims more than the file holds.
int64_t RecordAreaEnd(const ReadOnlyFile& file, int64_t file_size) {
  if (file_size < static_cast<int64_t>(kTrailerLengthBytes)) return -1;
  std::array<uint8_t, kTrailerLengthBytes> field{};
  const uint64_t at = static_cast<uint64_t>(file_size) - kTrailerLengthBytes;
  if (file.ReadAt(at, std::as_writable_bytes(std::span(field))) != kTrailerLengthBytes) return -1;
  const int64_t end =
      file_size - static_cast<int64_t>(kTrailerLengthBytes) - static_cast<int64_t>(LoadLittleEndian32(field.data()));
  return end < 0 ? -1 : end;
}

enum class BodyRead { kRead, kCutShort, kFailed, kOutOfMemory };

BodyRead ReadBody(const ReadOnlyFile& file, uint64_t position, uint64_t file_size, uint32_t length,
                  std::vector<uint8_t>* body) {
  // The length is the file's claim; what the file really holds bounds the allocation.
  if (position > file_size || length > file_size - position) return BodyRead::kCutShort;
  try {
    body->resize(length);
  } catch (const std::bad_alloc&) {
    return BodyRead::kOutOfMemory;
  }
  const int64_t got = file.ReadAt(position, std::as_writable_bytes(std::span(*body)));
  if (got < 0) return BodyRead::kFailed;
  return got == static_cast<int64_t>(length) ? BodyRead::kRead : BodyRead::kCutShort;
}

}  // namespace

PatternRecordHeader DecodePatternRecordHeader(std::span<const uint8_t, kPatternRecordHeaderSize> bytes) {
  PatternRecordHeader header;
  header.kind = LoadLittleEndian32(&bytes[0]);
  header.length_a = LoadLittleEndian16(&bytes[4]);
  header.version = LoadLittleEndian16(&bytes[10]);
  header.length_b = LoadLittleEndian16(&bytes[12]);
  return header;
}

void UnmaskPatternBody(std::span<uint8_t> body) {
  constexpr uint32_t kWordMask = 0x01010101u * kPatternBodyMask;
  const size_t words = body.size() / 4;
  for (size_t i = 0; i < words; ++i) {
    uint32_t word;
    std::memcpy(&word, body.data() + 4 * i, 4);
    word ^= kWordMask;
    std::memcpy(body.data() + 4 * i, &word, 4);
  }
  for (size_t i = 4 * words; i < body.size(); ++i) body[i] ^= kPatternBodyMask;
}

PatternStatus WalkPatternRecords(const char* path, const PatternRecordFilter& filter,
                                 const PatternBodyHandler& on_body) {
  if (path == nullptr || !filter || !on_body) return PatternStatus::kBadArgument;
  const platform::Result<ReadOnlyFile> opened = OpenPatternFile(path);
  if (!opened) return PatternStatus::kUnreadable;
  const ReadOnlyFile& file = *opened;
  const int64_t file_size = file.Size();
  const int64_t end = RecordAreaEnd(file, file_size);
  if (end < 0) return PatternStatus::kUnreadable;
  std::vector<uint8_t> body;
  // Every step moves on by at least one header, so the walk ends.
  for (uint64_t position = 0; position < static_cast<uint64_t>(end);) {
    PatternRecordHeader header;
    if (!ReadHeader(file, position, &header)) return PatternStatus::kUnreadable;
    position += kPatternRecordHeaderSize;
    const PatternFilterAnswer answer = filter(header);
    if (answer == PatternFilterAnswer::kStop) return PatternStatus::kDone;
    if (answer == PatternFilterAnswer::kRead) {
      switch (ReadBody(file, position, static_cast<uint64_t>(file_size), header.BodyLength(), &body)) {
        case BodyRead::kCutShort:
          return PatternStatus::kDone;
        case BodyRead::kFailed:
          return PatternStatus::kUnreadable;
        case BodyRead::kOutOfMemory:
          return PatternStatus::kOutOfMemory;
        case BodyRead::kRead:
          break;
      }
      UnmaskPatternBody(body);
      if (!on_body(header, body)) return PatternStatus::kDone;
    }
    position += header.BodyLength();
  }
  return PatternStatus::kDone;
}

PatternVersionStatus ReadPatternFileVersion(const char* path, uint16_t* version) {
  const platform::Result<ReadOnlyFile> opened = OpenPatternFile(path);
  if (!opened) return OpenFailure(opened.error());
  const ReadOnlyFile& file = *opened;
  const int64_t file_size = file.Size();
  if (file_size < 0) return PatternVersionStatus::kNoVersionRecord;
  // Every step moves on by at least one header, so the walk ends at the file's end.
  for (uint64_t position = 0;;) {
    PatternRecordHeader header;
    if (!ReadHeader(file, position, &header)) return PatternVersionStatus::kNoVersionRecord;
    if (header.kind == kPatternNameRecordKind) {
      *version = header.version;
      return PatternVersionStatus::kRead;
    }
    position += kPatternRecordHeaderSize + uint64_t{header.BodyLength()};
    if (position >= static_cast<uint64_t>(file_size)) return PatternVersionStatus::kNoVersionRecord;
  }
}
