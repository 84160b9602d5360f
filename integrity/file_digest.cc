#include "integrity/file_digest.h"

#include <openssl/evp.h>

#include <cstdio>

#include "platform/file_stream.h"
#include "platform/open_file.h"
#include "platform/openssl_support.h"

bool FileSha256Hex(const platform::OpenFile& file, std::string* hex) {
  UniqueStream stream = file.Stream();
  UniqueDigest digest(EVP_MD_CTX_new());
  if (!stream || !digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
    return false;
  }
  unsigned char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) {
    if (EVP_DigestUpdate(digest.get(), buffer, got) != 1) return false;
  }
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (std::ferror(stream.get()) || EVP_DigestFinal_ex(digest.get(), value, &size) != 1) {
    return false;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  hex->clear();
  for (unsigned int i = 0; i < size; ++i) {
    *hex += kHex[value[i] >> 4];
    *hex += kHex[value[i] & 0xF];
  }
  return true;
}
