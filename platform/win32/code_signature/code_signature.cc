// Code signatures on Windows are Authenticode, checked by WinVerifyTrust: not yet built here.
// Every check answers that it cannot verify, so an engine passes on its appended signature
// alone, and the reason says why the fallback refused.
#include "platform/code_signature.h"

namespace {

constexpr char kNotBuilt[] = "the code signature check is not yet built on Windows";

}  // namespace

bool VerifyFileCodeSignature(const char* /*path*/, std::string* /*signer_name*/, std::string* error) {
  *error = kNotBuilt;
  return false;
}

bool VerifyStreamCodeSignature(std::FILE* /*stream*/, std::string* /*signer_name*/, std::string* error) {
  *error = kNotBuilt;
  return false;
}

bool AppendCodeSignature(std::string_view /*certificate_pem*/, std::string_view /*key_pem*/, std::string* /*image*/,
                         std::string* error) {
  *error = "code signing is not yet built on Windows";
  return false;
}
