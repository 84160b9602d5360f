#include "integrity/appended_signature.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>

#include "integrity/signature_public_key.h"
#include "integrity/signature_trailer.h"
#include "platform/file_stream.h"
#include "platform/open_file.h"
#include "platform/openssl_support.h"

namespace {

constexpr size_t kChunkBytes = 1000;

using UniqueKeyContext = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using UniqueParamBuilder = OpenSslPtr<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using UniqueParams = OpenSslPtr<OSSL_PARAM, OSSL_PARAM_free>;

// The working storage of one verification. Everything in it is wiped when it goes out of
// scope, whichever way the verification ends.
struct VerificationState {
  VerificationState() : digest(EVP_MD_CTX_new()) {}
  ~VerificationState() {
    OPENSSL_cleanse(buffer, sizeof buffer);
    OPENSSL_cleanse(signature, sizeof signature);
    EVP_MD_CTX_free(digest);  // resets the context, which cleanses the digest state
  }
  VerificationState(const VerificationState&) = delete;
  VerificationState& operator=(const VerificationState&) = delete;

  EVP_MD_CTX* digest;
  unsigned char buffer[kChunkBytes];
  unsigned char signature[kMaxTrailerSignatureBytes];
};

UniqueKey MakePublicKey(const SignaturePublicKey& stored) {
  UniqueBignum modulus(BN_bin2bn(stored.modulus, sizeof stored.modulus, nullptr));
  UniqueBignum exponent(BN_bin2bn(stored.public_exponent, sizeof stored.public_exponent, nullptr));
  UniqueParamBuilder builder(OSSL_PARAM_BLD_new());
  if (!modulus || !exponent || !builder ||
      !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, modulus.get()) ||
      !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, exponent.get())) {
    return nullptr;
  }
  UniqueParams params(OSSL_PARAM_BLD_to_param(builder.get()));
  UniqueKeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    return nullptr;
  }
  return UniqueKey(key);
}

// The compiled-in key never changes, and building it is most of a check's own cost on a small
// engine, so it is built once per process (thread-safe static initialisation).
EVP_PKEY* StoredPublicKey() {
  static const UniqueKey key = MakePublicKey(kSignaturePublicKey);
  return key.get();
}

// L from the last four bytes; false when the file is too short or they cannot be read.
bool ReadTrailerLength(std::FILE* stream, uint32_t* length) {
  uint8_t field[kTrailerLengthFieldBytes];
  if (std::fseek(stream, -static_cast<long>(kTrailerLengthFieldBytes), SEEK_END) != 0) {
    return false;
  }
  if (std::fread(field, 1, sizeof field, stream) != sizeof field) return false;
  *length = DecodeTrailerLength(field);
  return true;
}

bool ReadSignature(std::FILE* stream, uint32_t length, unsigned char* signature) {
  long from_end = static_cast<long>(length) + static_cast<long>(kTrailerLengthFieldBytes);
  if (std::fseek(stream, -from_end, SEEK_END) != 0) return false;
  return std::fread(signature, 1, length, stream) == length;
}

// Feeds the first `content_size` bytes of the stream into the verification in chunks of
// 1000 bytes: 1 when all of them were fed, 0 when the stream ended or failed early, -1 when
// the digest refused them.
int FeedContent(std::FILE* stream, int64_t content_size, VerificationState* state) {
  if (std::fseek(stream, 0, SEEK_SET) != 0) return 0;
  int64_t remaining = content_size;
  while (remaining > 0) {
    auto wanted = static_cast<size_t>(std::min<int64_t>(remaining, kChunkBytes));
    size_t got = std::fread(state->buffer, 1, wanted, stream);
    if (got > 0 && EVP_DigestVerifyUpdate(state->digest, state->buffer, got) != 1) return -1;
    remaining -= static_cast<int64_t>(got);
    // A read error is not the end of the file, but nothing more will come of it either.
    if (got < wanted) break;
  }
  return remaining == 0 ? 1 : 0;
}

// The signature is a big-endian number of `length` bytes; the RSA operation wants it as long
// as the modulus, so leading zero bytes that the signer left out are put back.
int FinishVerification(EVP_PKEY* key, uint32_t length, VerificationState* state) {
  auto modulus_bytes = static_cast<size_t>(EVP_PKEY_get_size(key));
  if (length > modulus_bytes || modulus_bytes > kMaxTrailerSignatureBytes) return 0;
  unsigned char padded[kMaxTrailerSignatureBytes] = {};
  std::copy_n(state->signature, length, padded + (modulus_bytes - length));
  int status = EVP_DigestVerifyFinal(state->digest, padded, modulus_bytes);
  OPENSSL_cleanse(padded, sizeof padded);
  return status == 1 ? 1 : 0;
}

}  // namespace

int VerifyAppendedSignature(const char* path) {
  int64_t size = 0;
  if (path == nullptr || !QueryFileSize(path, &size)) return -1;
  UniqueStream stream = OpenBinaryStream(path);
  if (!stream) return -1;
  return VerifyAppendedSignatureStream(stream.get(), size);
}

int VerifyAppendedSignatureFile(const platform::OpenFile& file) {
  platform::FileIdentity identity;
  if (!file.Identity(&identity)) return -1;
  UniqueStream stream = file.Stream();
  if (!stream) return -1;
  return VerifyAppendedSignatureStream(stream.get(), identity.size);
}

int VerifyAppendedSignatureStream(std::FILE* stream, int64_t size) {
  ErrorQueueMark error_mark;
  uint32_t length = 0;
  if (stream == nullptr) return -1;
  if (!ReadTrailerLength(stream, &length)) return 0;
  if (!IsWellFormedTrailer(length, size)) return 0;
  VerificationState state;
  if (!ReadSignature(stream, length, state.signature)) return 0;
  EVP_PKEY* key = StoredPublicKey();
  if (key == nullptr || state.digest == nullptr ||
      EVP_DigestVerifyInit(state.digest, nullptr, EVP_md5(), nullptr, key) != 1) {
    return -1;
  }
  int fed = FeedContent(stream, size - static_cast<int64_t>(kTrailerLengthFieldBytes) - length, &state);
  if (fed != 1) return fed;
  return FinishVerification(key, length, &state);
}

IntegrityVerdict AppendedSignatureVerdict(int verdict) {
  switch (verdict) {
    case 1:
      return IntegrityVerdict::kValid;
    case 0:
      return IntegrityVerdict::kInvalid;
    default:
      return IntegrityVerdict::kUnreadable;
  }
}

bool HasSignatureTrailer(const char* path) {
  UniqueStream stream = OpenBinaryStream(path);
  int64_t size = 0;
  uint32_t length = 0;
  return stream && QueryFileSize(path, &size) && ReadTrailerLength(stream.get(), &length) &&
         IsWellFormedTrailer(length, size);
}
