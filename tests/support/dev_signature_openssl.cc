// The development signature through OpenSSL (the Linux build).
#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/openssl_support.h"
#include "support/dev_signature.h"

namespace {

// Read once: loops sign thousands of variants.
EVP_PKEY* DevKey() {
  static const UniqueKey key = [] {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(DevKeyPath().c_str(), "r"), std::fclose);
    if (!file) throw std::runtime_error("no development key at " + DevKeyPath());
    return UniqueKey(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
  }();
  if (!key) throw std::runtime_error("no private key in " + DevKeyPath());
  return key.get();
}

}  // namespace

std::vector<uint8_t> DevSignature(std::string_view content) {
  EVP_PKEY* key = DevKey();
  UniqueDigest digest(EVP_MD_CTX_new());
  std::vector<uint8_t> signature(128);
  size_t size = signature.size();
  if (!digest || EVP_DigestSignInit(digest.get(), nullptr, EVP_md5(), nullptr, key) != 1 ||
      EVP_DigestSign(digest.get(), signature.data(), &size, reinterpret_cast<const unsigned char*>(content.data()),
                     content.size()) != 1) {
    throw std::runtime_error("signing failed");
  }
  signature.resize(size);
  return signature;
}
