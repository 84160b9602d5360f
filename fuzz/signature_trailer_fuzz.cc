// The appended RSA/MD5 signature check on arbitrary files, read from an in-memory stream.
#include <openssl/err.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "integrity/appended_signature.h"

namespace {

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Opened for reading only, so the buffer is never written.
  std::unique_ptr<std::FILE, StreamCloser> stream(fmemopen(const_cast<uint8_t*>(data), size, "rb"));
  FUZZ_CHECK(stream != nullptr);
  int verdict = VerifyAppendedSignatureStream(stream.get(), static_cast<int64_t>(size));
  // -1 is for files that cannot be opened or measured and for a failing digest; a stream
  // in memory is neither, so every input is either signed or not.
  FUZZ_CHECK(verdict == 0 || verdict == 1);
  FUZZ_CHECK(ERR_peek_error() == 0);
  return 0;
}
