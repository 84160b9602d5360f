// The code-signature reader on arbitrary files: the walk over the signature blocks at the
// end of the file, then the CMS check of the one block against a test root.
#include <openssl/err.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/code_signature.h"

namespace {

// The input file, whose folder doubles as an empty certificate folder. Only the root that
// signed the seeds is trusted, nothing of the machine's store: the result must not depend on
// the machine, and loading a large store for every input would be slow.
struct Setup {
  Setup() : file("engine.exe") {
    setenv("SSL_CERT_FILE", TESTKVE_FUZZ_DIR "/code_signing_root.pem", 1);
    setenv("SSL_CERT_DIR", file.folder().c_str(), 1);
  }
  FuzzInputFile file;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Setup setup;
  setup.file.Write({data, size});
  const platform::Result<std::string> signer = VerifyFileCodeSignature(setup.file.path().c_str());
  FUZZ_CHECK(signer.ok() || !signer.error().text.empty());
  FUZZ_CHECK(ERR_peek_error() == 0);
  return 0;
}
