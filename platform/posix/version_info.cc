#include "platform/version_info.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/elf_version_note.h"
#include "platform/file_stream.h"

namespace {

// An open file read where the note parser asks, so that only its headers and notes are read.
class StreamBytes final : public ElfBytes {
 public:
  StreamBytes(std::FILE* stream, uint64_t size) : stream_(stream), size_(size) {}
  uint64_t size() const override { return size_; }
  bool Read(uint64_t offset, uint64_t length, std::string* out) const override {
    if (offset > size_ || length > size_ - offset) return false;
    if (fseeko(stream_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    out->resize(static_cast<size_t>(length));
    return std::fread(out->data(), 1, out->size(), stream_) == length;
  }

 private:
  std::FILE* stream_;
  uint64_t size_;
};

}  // namespace

// On Linux an executable carries its version block in an ELF note.
std::optional<VersionInfo> VersionInfo::ReadFromFile(const char* path) {
  if (path == nullptr) return std::nullopt;
  UniqueStream stream = OpenBinaryStream(path);
  return ReadFromStream(stream.get());
}

std::optional<VersionInfo> VersionInfo::ReadFromStream(std::FILE* stream) {
  struct stat status;
  if (stream == nullptr || fstat(fileno(stream), &status) != 0) return std::nullopt;
  std::vector<uint8_t> block;
  if (!ReadElfVersionNote(StreamBytes(stream, static_cast<uint64_t>(status.st_size)), &block)) return std::nullopt;
  return VersionInfo(std::move(block));
}

bool EmbedVersionInfo(std::span<const uint8_t> block, std::string* image, platform::Error* error) {
  return WriteElfVersionNote(block, image, error);
}
