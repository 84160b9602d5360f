#include "engine_control/library_state.h"

#include <array>
#include <cstddef>

#include "platform/file_open.h"
#include "platform/little_endian.h"

namespace {

constexpr size_t kRecordHeaderSize = 14;

VXRResult OpenErrorToResult(FileOpenError error) {
  switch (error) {
    case FileOpenError::kNotFound:
      return VXR_LIB_PATTERN_NOT_EXIST;
    case FileOpenError::kLockViolation:
      return VXR_LIB_PTN_LOCK;
    case FileOpenError::kOpenFailed:
      return VXR_LIB_PTN_OPEN_FAIL;
    default:
      return VXR_LIB_FAIL;
  }
}

}  // namespace

std::string LibraryState::PatternPath() const {
  if (pattern_dir_.size() + pattern_filename_.size() > kFieldSize) return {};
  std::string path = pattern_dir_;
  if (!path.ends_with('/')) path += '/';
  path += pattern_filename_;
  if (path.size() + 1 > kFieldSize) return {};
  return path;
}

VXRResult LibraryState::ReadPatternVersion(uint32_t* size) {
  const std::string path = PatternPath();
  if (path.empty()) return VXR_LIB_INVALID_PARAMETER;
  FileOpenError error;
  ReadOnlyFile file = ReadOnlyFile::Open(path.c_str(), &error);
  if (!file.is_open()) return OpenErrorToResult(error);
  const int64_t file_size = file.Size();
  std::array<std::byte, kRecordHeaderSize> header;
  // Every step moves on by at least one header, so the walk ends at the file's end.
  for (uint64_t position = 0;;) {
    if (file.ReadAt(position, header) != static_cast<int64_t>(header.size())) return VXR_LIB_FAIL;
    if (LoadLittleEndian32(&header[0]) == kVersionRecordKind) {
      pattern_version_ = std::to_string(LoadLittleEndian16(&header[10]));
      *size = static_cast<uint32_t>(pattern_version_.size() + 1);
      return VXR_LIB_SUCCESS;
    }
    const uint64_t body = uint64_t{LoadLittleEndian16(&header[4])} * LoadLittleEndian16(&header[12]);
    position += kRecordHeaderSize + body;
    if (file_size < 0 || position >= static_cast<uint64_t>(file_size)) return VXR_LIB_FAIL;
  }
}
