#include "integrity/file_digest.h"

#include <cstdio>
#include <memory>
#include <span>

#include "platform/crypto.h"
#include "platform/file_stream.h"
#include "platform/open_file.h"

bool FileSha256Hex(const platform::OpenFile& file, std::string* hex) {
  UniqueStream stream = file.Stream();
  std::unique_ptr<platform::Sha256> digest = platform::Sha256::Start();
  if (!stream || !digest) return false;
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) {
    if (!digest->Update(std::span<const uint8_t>(buffer, got))) return false;
  }
  platform::Sha256Digest value;
  if (std::ferror(stream.get()) || !digest->Finish(&value)) return false;
  static constexpr char kHex[] = "0123456789abcdef";
  hex->clear();
  for (uint8_t byte : value) {
    *hex += kHex[byte >> 4];
    *hex += kHex[byte & 0xF];
  }
  return true;
}
