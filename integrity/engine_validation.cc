#include "integrity/engine_validation.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "integrity/appended_signature.h"
#include "platform/code_signature.h"
#include "platform/open_file.h"
#include "platform/version_info.h"

namespace {

constexpr std::string_view kExpectedSigner = "Quillmark, Inc.";
constexpr std::string_view kMinimumVersion = "3.5";
// The library keeps the texts in 260-byte fields and fetches the version through a 32-byte
// buffer; both hold a terminator.
constexpr size_t kMaxBuildTextBytes = 259;
constexpr size_t kVersionBufferBytes = 32;

std::string FormatFileVersion(uint32_t file_version_ms) {
  char text[kVersionBufferBytes];
  std::snprintf(text, sizeof text, "%d.%d", static_cast<int>(file_version_ms >> 16),
                static_cast<int>(file_version_ms & 0xFFFF));
  return text;
}

std::string SpecialBuildPath(VersionTranslation translation) {
  char path[64];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%08X\\SpecialBuild",
                static_cast<unsigned>(translation.language) << 16 | translation.code_page);
  return path;
}

// Cuts a UTF-8 text to `limit` bytes without splitting a character.
std::string CutUtf8(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace

IntegrityVerdict ValidateEngineExecutable(const char* engine_path) {
  return ValidateEngineFile(platform::OpenFile::Open(engine_path));
}

IntegrityVerdict ValidateEngineFile(const platform::OpenFile& engine) {
  IntegrityVerdict appended = AppendedSignatureVerdict(VerifyAppendedSignatureFile(engine));
  if (appended == IntegrityVerdict::kValid) return IntegrityVerdict::kValid;
  // A file that cannot even be read gets no second chance through its code signature.
  if (appended == IntegrityVerdict::kUnreadable) return IntegrityVerdict::kInvalid;
  UniqueStream stream = engine.Stream();
  const platform::Result<std::string> signer = VerifyStreamCodeSignature(stream.get());
  return signer && *signer == kExpectedSigner ? IntegrityVerdict::kValid : IntegrityVerdict::kInvalid;
}

IntegrityVerdict VerifyCodeSignature(const char* path) {
  if (path == nullptr) return IntegrityVerdict::kUnreadable;
  const platform::Result<std::string> signer = VerifyFileCodeSignature(path);
  return signer && *signer == kExpectedSigner ? IntegrityVerdict::kValid : IntegrityVerdict::kInvalid;
}

void ReadEngineVersionInfo(const char* engine_path, EngineVersionInfo* info) {
  ReadEngineFileVersionInfo(platform::OpenFile::Open(engine_path), info);
}

void ReadEngineFileVersionInfo(const platform::OpenFile& engine, EngineVersionInfo* info) {
  if (info == nullptr) return;
  UniqueStream stream = engine.Stream();
  std::optional<VersionInfo> version_info = VersionInfo::ReadFromStream(stream.get());
  if (!version_info) return;
  FixedFileInfo fixed;
  if (version_info->QueryFixedFileInfo(&fixed)) {
    info->version = FormatFileVersion(fixed.file_version_ms);
  }
  // Only the first translation counts, even when a later one has the string.
  std::vector<VersionTranslation> translations;
  std::string build;
  if (version_info->QueryTranslations(&translations) &&
      version_info->QueryString(SpecialBuildPath(translations.front()), &build)) {
    info->build = CutUtf8(std::move(build), kMaxBuildTextBytes);
  }
}

IntegrityVerdict CheckEngineVersion(const char* engine_path, EngineVersionInfo* info) {
  return CheckEngineFileVersion(platform::OpenFile::Open(engine_path), info);
}

IntegrityVerdict CheckEngineFileVersion(const platform::OpenFile& engine, EngineVersionInfo* info) {
  EngineVersionInfo own;
  if (info == nullptr) info = &own;
  ReadEngineFileVersionInfo(engine, info);
  if (info->version.size() >= kVersionBufferBytes) return IntegrityVerdict::kInvalid;
  return IsEngineVersionAccepted(info->version) ? IntegrityVerdict::kValid : IntegrityVerdict::kInvalid;
}

bool IsEngineVersionAccepted(std::string_view version_text) {
  // Byte strings compared as text, so "3.10" is older than "3.5" and "10.0" older still.
  return version_text.compare(kMinimumVersion) >= 0;
}
