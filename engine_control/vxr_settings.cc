// The scan-context operations: open, close, and the Sets and Gets of flags, values, strings.
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "engine_control/library.h"
#include "engine_control/string_buffer.h"
#include "engine_control/value_rules.h"
#include "vxr_lib.h"

namespace {

// The checks VXRSetStringInfo makes by ID before it looks at the handle.
VXRResult StringIdRule(uint32_t id, const char* text) {
  switch (id) {
    case VXR_STR_PATTERN_DIR:
    case VXR_STR_BACKUP_DIR:
    case VXR_STR_DEBUG_LOG_DIR:
    case VXR_STR_REPORT_DIR:
    case VXR_STR_PATTERN_FILENAME:
      return std::strlen(text) > kPathFieldSize ? VXR_LIB_INVALID_PARAMETER : VXR_LIB_SUCCESS;
    case VXR_STR_PATTERN_VER:
    case VXR_STR_VXR_VER:
    case VXR_STR_VXR_BUILD_NUMBER:
      return VXR_LIB_INVALID_PARAMETER;
    case VXR_STR_SECTION_OPTIONS:
    case VXR_STR_SECTION_ADVANCED:
      return VXR_LIB_NOT_SUPPORT_NOW;
    default:
      return VXR_LIB_SUCCESS;
  }
}

// Computed from the pattern file on every request; nothing is cached.
VXRResult ReadPatternVersionNumber(LibraryState* state, int32_t* value) {
  uint32_t size = 0;
  VXRResult result = state->ReadPatternVersion(&size);
  if (result != VXR_LIB_SUCCESS) return result;
  const std::string& text = state->pattern_version();
  *value = 0;
  std::from_chars(text.data(), text.data() + text.size(), *value);
  return VXR_LIB_SUCCESS;
}

VXRResult CopyPatternVersion(LibraryState* state, char* buffer, uint32_t* size) {
  uint32_t needed = 0;
  VXRResult result = state->ReadPatternVersion(&needed);
  if (result != VXR_LIB_SUCCESS) return result;
  return CopyStringToBuffer(state->pattern_version(), buffer, size);
}

}  // namespace

VXRResult VXRInitScanContext(VXR_HANDLE* out) {
  Library* library = InitialisedLibrary();
  if (library == nullptr) return VXR_LIB_NOT_INIT;
  if (out == nullptr) return VXR_LIB_INVALID_PARAMETER;
  auto context = std::make_unique<ScanContext>(library->state->engine_path());
  library->config->Preset(context.get());
  *out = library->handles.Add(std::move(context));
  return VXR_LIB_SUCCESS;
}

VXRResult VXRQuitScanContext(VXR_HANDLE sc) {
  Library* library = InitialisedLibrary();
  if (library == nullptr) return VXR_LIB_NOT_INIT;
  return library->handles.Release(sc) ? VXR_LIB_SUCCESS : VXR_LIB_INVALID_PARAMETER;
}

VXRResult VXRSetFlagInfo(VXR_HANDLE sc, uint32_t dwID, uint32_t flag) {
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  return entry.context->SetFlag(dwID, flag);
}

VXRResult VXRGetFlagInfo(VXR_HANDLE sc, uint32_t dwID, uint32_t* flag) {
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  if (flag == nullptr) return VXR_LIB_INVALID_PARAMETER;
  int32_t number = 0;
  VXRResult result = entry.context->GetNumber(dwID, &number);
  if (result == VXR_LIB_SUCCESS) *flag = static_cast<uint32_t>(number);
  return result;
}

VXRResult VXRSetValueInfo(VXR_HANDLE sc, uint32_t dwID, int32_t value) {
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  if (!ValueRulesAccept(dwID, value)) return VXR_LIB_INVALID_PARAMETER;
  return entry.context->SetValue(dwID, value);
}

VXRResult VXRGetValueInfo(VXR_HANDLE sc, uint32_t dwID, int32_t* value) {
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  if (value == nullptr) return VXR_LIB_INVALID_PARAMETER;
  if (dwID == VXR_INT_PATTERN_VER) return ReadPatternVersionNumber(entry.library->state.get(), value);
  return entry.context->GetNumber(dwID, value);
}

VXRResult VXRSetStringInfo(VXR_HANDLE sc, uint32_t dwID, const char* string) {
  Library* library = InitialisedLibrary();
  if (library == nullptr) return VXR_LIB_NOT_INIT;
  if (string == nullptr) return VXR_LIB_INVALID_PARAMETER;
  // Before the handle: an unsupported ID says so even with a bad handle.
  VXRResult result = StringIdRule(dwID, string);
  if (result != VXR_LIB_SUCCESS) return result;
  ScanContext* context = library->handles.Find(sc);
  if (context == nullptr) return VXR_LIB_INVALID_PARAMETER;
  result = context->SetString(dwID, string);
  if (result != VXR_LIB_SUCCESS) return result;
  // The pattern folder and file name are library-wide: they decide every context's version.
  if (dwID == VXR_STR_PATTERN_DIR) library->state->set_pattern_dir(string);
  if (dwID == VXR_STR_PATTERN_FILENAME) library->state->set_pattern_filename(string);
  return VXR_LIB_SUCCESS;
}

VXRResult VXRGetStringInfo(VXR_HANDLE sc, uint32_t dwID, char* buffer, uint32_t* dwLen) {
  const ContextEntry entry = EnterContext(sc);
  if (entry.result != VXR_LIB_SUCCESS) return entry.result;
  if (dwLen == nullptr) return VXR_LIB_INVALID_PARAMETER;
  if (*dwLen != 0 && buffer == nullptr) return VXR_LIB_INVALID_PARAMETER;
  LibraryState* state = entry.library->state.get();
  switch (dwID) {
    case VXR_STR_PATTERN_VER:
      return CopyPatternVersion(state, buffer, dwLen);
    case VXR_STR_VXR_VER:
      return CopyStringToBuffer(state->engine_version(), buffer, dwLen);
    case VXR_STR_VXR_BUILD_NUMBER:
      return CopyStringToBuffer(state->engine_build(), buffer, dwLen);
    default:
      return entry.context->GetString(dwID, buffer, dwLen);
  }
}
