#include "tools/vxrtool/trailer_signing.h"

#include <openssl/pem.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "integrity/signature_trailer.h"
#include "platform/whole_file.h"

namespace {

constexpr size_t kChunkBytes = 1 << 20;

std::string OpenSslReason() {
  const char* reason = ERR_reason_error_string(ERR_peek_last_error());
  ERR_clear_error();
  return reason != nullptr ? reason : "unknown reason";
}

}  // namespace

UniqueKey LoadSigningKey(const std::string& path, std::string* error) {
  std::string pem;
  if (!ReadWholeFile(path, &pem, error)) return nullptr;
  UniqueBio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  UniqueKey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    ERR_clear_error();
    *error = "no RSA private key in " + path;
    return nullptr;
  }
  return key;
}

bool MakeSignatureTrailer(EVP_PKEY* key, const ChunkReader& read, std::string* trailer, std::string* error) {
  UniqueDigest digest(EVP_MD_CTX_new());
  if (!digest || EVP_DigestSignInit(digest.get(), nullptr, EVP_md5(), nullptr, key) != 1) {
    *error = "signing failed: " + OpenSslReason();
    return false;
  }
  std::vector<std::byte> chunk(kChunkBytes);
  uint64_t total = 0;
  for (;;) {
    int64_t got = read(chunk);
    if (got < 0) return false;  // the reader has told why
    if (got == 0) break;
    total += static_cast<uint64_t>(got);
    if (EVP_DigestSignUpdate(digest.get(), chunk.data(), static_cast<size_t>(got)) != 1) {
      *error = "signing failed: " + OpenSslReason();
      return false;
    }
  }
  if (total == 0) {
    *error = "the file is empty";
    return false;
  }
  size_t size = 0;
  std::vector<uint8_t> signature;
  if (EVP_DigestSignFinal(digest.get(), nullptr, &size) != 1 ||
      (signature.resize(size), EVP_DigestSignFinal(digest.get(), signature.data(), &size) != 1)) {
    *error = "signing failed: " + OpenSslReason();
    return false;
  }
  signature.resize(size);
  trailer->clear();
  if (!AppendSignatureTrailer(signature, trailer)) {
    *error = "the key's signatures are longer than 128 bytes (a modulus above 1024 bits)";
    return false;
  }
  return true;
}

bool MakeSignatureTrailer(EVP_PKEY* key, std::string_view content, std::string* trailer, std::string* error) {
  ChunkReader read = [&content](std::span<std::byte> buffer) -> int64_t {
    size_t count = std::min(buffer.size(), content.size());
    std::memcpy(buffer.data(), content.data(), count);
    content.remove_prefix(count);
    return static_cast<int64_t>(count);
  };
  return MakeSignatureTrailer(key, read, trailer, error);
}
