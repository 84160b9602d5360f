#include "integrity/signature_trailer.h"

#include "platform/little_endian.h"

uint32_t DecodeTrailerLength(std::span<const uint8_t, kTrailerLengthFieldBytes> field) {
  return LoadLittleEndian32(field.data());
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
  file->resize(file->size() + kTrailerLengthFieldBytes);
  StoreLittleEndian(file->data() + file->size() - kTrailerLengthFieldBytes, length, kTrailerLengthFieldBytes);
  return true;
}
