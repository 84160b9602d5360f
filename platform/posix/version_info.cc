#include "platform/version_info.h"

#include "platform/posix/elf_version_note.h"

// On Linux an executable carries its version block in an ELF note.
std::optional<VersionInfo> VersionInfo::ReadFromFile(const char* path) {
  std::vector<uint8_t> block;
  if (path == nullptr || !ReadElfVersionNote(path, &block)) return std::nullopt;
  return VersionInfo(std::move(block));
}

std::optional<VersionInfo> VersionInfo::ReadFromStream(std::FILE* stream) {
  std::vector<uint8_t> block;
  if (!ReadElfVersionNoteStream(stream, &block)) return std::nullopt;
  return VersionInfo(std::move(block));
}
