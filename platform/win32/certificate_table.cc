#include "platform/win32/certificate_table.h"

#include <cstring>

namespace platform::win32 {
namespace {

uint32_t Read32(std::string_view image, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(image[at + i])) << (8 * i);
  return value;
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(std::string_view image) {
  constexpr size_t kHeaderOffsetAt = 0x3C, kFileHeaderBytes = 24, kSecurityEntry = 4;
  if (image.size() < kHeaderOffsetAt + 4 || !image.starts_with("MZ")) return std::nullopt;
  const size_t header = Read32(image, kHeaderOffsetAt);
  if (header > image.size() - 4 - kFileHeaderBytes || image.substr(header, 4) != std::string_view("PE\0\0", 4)) {
    return std::nullopt;
  }
  const size_t optional_header = header + kFileHeaderBytes;
  const uint16_t magic = static_cast<uint16_t>(static_cast<uint8_t>(image[optional_header]) |
                                               static_cast<uint8_t>(image[optional_header + 1]) << 8);
  if (magic != 0x10B && magic != 0x20B) return std::nullopt;
  // The data directory follows the optional header's fixed part, 96 bytes (PE32) or 112 (PE32+).
  const size_t entry = optional_header + (magic == 0x20B ? 112 : 96) + kSecurityEntry * 8;
  if (entry > image.size() - 8) return std::nullopt;
  return CertificateTable{entry, Read32(image, entry), Read32(image, entry + 4)};
}

bool RemoveCertificateTable(std::string* image) {
  std::optional<CertificateTable> table = FindCertificateTable(*image);
  if (!table || table->size == 0) return false;
  std::memset(image->data() + table->entry_at, 0, 8);
  if (static_cast<uint64_t>(table->offset) + table->size == image->size()) image->resize(table->offset);
  return true;
}

}  // namespace platform::win32
