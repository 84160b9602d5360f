// The code-signature reader on arbitrary files: the walk over the signature blocks at the
// end of the file, then the CMS check of the one block against a test root.
#include <openssl/err.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/code_signature.h"

namespace {

// Trust only the root that signed the seeds, and nothing of the machine's store: the result
// must not depend on the machine, and loading a large store for every input would be slow.
void UseTestRoot(const FuzzInputFile& file) {
  setenv("SSL_CERT_FILE", TESTKVE_FUZZ_DIR "/code_signing_root.pem", 1);
  setenv("SSL_CERT_DIR", file.folder().c_str(), 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzInputFile file("engine.exe");
  static const bool trust_set = (UseTestRoot(file), true);
  file.Write({data, size});
  std::string signer;
  std::string error;
  bool verified = VerifyFileCodeSignature(file.path().c_str(), &signer, &error);
  FUZZ_CHECK(trust_set && (verified || !error.empty()));
  FUZZ_CHECK(ERR_peek_error() == 0);
  return 0;
}
