#include "integrity/signature_trailer.h"

uint32_t DecodeTrailerLength(std::span<const uint8_t, kTrailerLengthFieldBytes> field) {
  return static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
         static_cast<uint32_t>(field[2]) << 16 | static_cast<uint32_t>(field[3]) << 24;
}

bool IsWellFormedTrailer(uint32_t length, int64_t file_size) {
  int64_t signed_length = length;
  return length != 0 && length <= kMaxTrailerSignatureBytes &&
         signed_length < file_size - static_cast<int64_t>(kTrailerLengthFieldBytes);
}

bool AppendSignatureTrailer(std::span<const uint8_t> signature, std::string* file) {
  if (signature.empty() || signature.size() > kMaxTrailerSignatureBytes) return false;
  auto length = static_cast<uint32_t>(signature.size());
  file->append(reinterpret_cast<const char*>(signature.data()), signature.size());
  for (int shift = 0; shift < 32; shift += 8) {
    file->push_back(static_cast<char>((length >> shift) & 0xFF));
  }
  return true;
}
