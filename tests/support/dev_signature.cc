#include "support/dev_signature.h"

std::string DevKeyPath() { return TESTKVE_SOURCE_DIR "/tools/keys/dev_signing_key.pem"; }

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
