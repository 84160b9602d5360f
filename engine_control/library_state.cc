#include "engine_control/library_state.h"

#include "pattern_reader/pattern_file.h"

namespace {

VXRResult VersionStatusToResult(PatternVersionStatus status) {
  switch (status) {
    case PatternVersionStatus::kRead:
      return VXR_LIB_SUCCESS;
    case PatternVersionStatus::kFileMissing:
      return VXR_LIB_PATTERN_NOT_EXIST;
    case PatternVersionStatus::kFileLocked:
      return VXR_LIB_PTN_LOCK;
    case PatternVersionStatus::kOpenRefused:
      return VXR_LIB_PTN_OPEN_FAIL;
    default:
      return VXR_LIB_FAIL;
  }
}

}  // namespace

std::string LibraryState::PatternPath() const {
  if (pattern_dir_.size() + pattern_filename_.size() > kPathFieldSize) return {};
  std::string path = pattern_dir_;
  if (!path.ends_with('/')) path += '/';
  path += pattern_filename_;
  if (path.size() + 1 > kPathFieldSize) return {};
  return path;
}

VXRResult LibraryState::ReadPatternVersion(uint32_t* size) {
  const std::string path = PatternPath();
  if (path.empty()) return VXR_LIB_INVALID_PARAMETER;
  uint16_t version = 0;
  const VXRResult result = VersionStatusToResult(ReadPatternFileVersion(path.c_str(), &version));
  if (result != VXR_LIB_SUCCESS) return result;
  pattern_version_ = std::to_string(version);
  *size = static_cast<uint32_t>(pattern_version_.size() + 1);
  return VXR_LIB_SUCCESS;
}
