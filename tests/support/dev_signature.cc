#include "support/dev_signature.h"

#include <memory>
#include <stdexcept>

#include "platform/crypto.h"
#include "support/text.h"

std::string DevKeyPath() { return TESTKVE_SOURCE_DIR "/tools/keys/dev_signing_key.pem"; }

std::vector<uint8_t> DevSignature(std::string_view content) {
  // Read once: loops sign thousands of variants.
  static const std::unique_ptr<platform::RsaPrivateKey> key = platform::RsaPrivateKey::FromPem(ReadFile(DevKeyPath()));
  if (!key) throw std::runtime_error("no RSA private key in " + DevKeyPath());
  std::unique_ptr<platform::Md5RsaSigning> signing = key->StartMd5Signing();
  std::vector<uint8_t> signature;
  if (!signing || !signing->Update({reinterpret_cast<const uint8_t*>(content.data()), content.size()}) ||
      !signing->Finish(&signature)) {
    throw std::runtime_error("signing failed");
  }
  return signature;
}

std::string WithTrailer(std::string_view content, const std::vector<uint8_t>& signature, uint32_t length_field) {
  std::string file(content);
  file.append(signature.begin(), signature.end());
  for (int shift = 0; shift < 32; shift += 8) {
    file.push_back(static_cast<char>(length_field >> shift & 0xFF));
  }
  return file;
}

std::string DevSigned(std::string_view content) {
  std::vector<uint8_t> signature = DevSignature(content);
  return WithTrailer(content, signature, static_cast<uint32_t>(signature.size()));
}
