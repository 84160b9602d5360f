#include "tools/vxrtool/trailer_signing.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "integrity/signature_trailer.h"
#include "platform/whole_file.h"

namespace {

constexpr size_t kChunkBytes = 1 << 20;

}  // namespace

std::unique_ptr<platform::RsaPrivateKey> LoadSigningKey(const std::string& path, std::string* error) {
  platform::Result<std::string> read = ReadWholeFile(path);
  if (!read) {
    *error = read.error().text;
    return nullptr;
  }
  std::string& pem = *read;
  std::unique_ptr<platform::RsaPrivateKey> key = platform::RsaPrivateKey::FromPem(pem);
  platform::WipeBytes(std::span(reinterpret_cast<uint8_t*>(pem.data()), pem.size()));
  if (!key) *error = "no RSA private key in " + path;
  return key;
}

bool MakeSignatureTrailer(const platform::RsaPrivateKey& key, const ChunkReader& read, std::string* trailer,
                          std::string* error) {
  std::unique_ptr<platform::Md5RsaSigning> signing = key.StartMd5Signing();
  if (!signing) {
    *error = "signing failed: the system cannot sign with this key";
    return false;
  }
  std::vector<std::byte> chunk(kChunkBytes);
  uint64_t total = 0;
  for (;;) {
    int64_t got = read(chunk);
    if (got < 0) return false;  // the reader has told why
    if (got == 0) break;
    total += static_cast<uint64_t>(got);
    if (!signing->Update(std::span(reinterpret_cast<const uint8_t*>(chunk.data()), static_cast<size_t>(got)))) {
      *error = "signing failed: the digest refused the content";
      return false;
    }
  }
  if (total == 0) {
    *error = "the file is empty";
    return false;
  }
  std::vector<uint8_t> signature;
  if (!signing->Finish(&signature)) {
    *error = "signing failed: the system refused to sign with this key";
    return false;
  }
  trailer->clear();
  if (!AppendSignatureTrailer(signature, trailer)) {
    *error = "the key's signatures are longer than 128 bytes (a modulus above 1024 bits)";
    return false;
  }
  return true;
}

bool MakeSignatureTrailer(const platform::RsaPrivateKey& key, std::string_view content, std::string* trailer,
                          std::string* error) {
  ChunkReader read = [&content](std::span<std::byte> buffer) -> int64_t {
    size_t count = std::min(buffer.size(), content.size());
    std::memcpy(buffer.data(), content.data(), count);
    content.remove_prefix(count);
    return static_cast<int64_t>(count);
  };
  return MakeSignatureTrailer(key, read, trailer, error);
}
