#include "integrity/appended_signature.h"

#include <algorithm>
#include <memory>
#include <span>

#include "integrity/signature_public_key.h"
#include "integrity/signature_trailer.h"
#include "platform/crypto.h"
#include "platform/file_stream.h"
#include "platform/open_file.h"

namespace {

constexpr size_t kChunkBytes = 1000;

// The working storage of one verification. Everything in it is wiped when it goes out of
// scope, whichever way the verification ends.
struct VerificationState {
  ~VerificationState() {
    platform::WipeBytes(buffer);
    platform::WipeBytes(signature);
  }

  std::unique_ptr<platform::Md5RsaVerification> check;
  uint8_t buffer[kChunkBytes];
  uint8_t signature[kMaxTrailerSignatureBytes];
};

// The stored numbers are right-aligned in their buffers; the modulus is the last bits/8 bytes.
std::unique_ptr<platform::RsaPublicKey> ImportStoredKey(const SignaturePublicKey& stored) {
  size_t modulus_bytes = (stored.bits + 7u) / 8u;
  if (modulus_bytes == 0 || modulus_bytes > sizeof stored.modulus) return nullptr;
  std::span<const uint8_t> modulus(stored.modulus);
  return platform::RsaPublicKey::Import(modulus.last(modulus_bytes), stored.public_exponent);
}

// The compiled-in key never changes, and loading it is most of a check's own cost on a small
// engine, so it is loaded once per process (thread-safe static initialisation).
const platform::RsaPublicKey* StoredPublicKey() {
  static const std::unique_ptr<platform::RsaPublicKey> key = ImportStoredKey(kSignaturePublicKey);
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

bool ReadSignature(std::FILE* stream, uint32_t length, uint8_t* signature) {
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
    if (got > 0 && !state->check->Update(std::span<const uint8_t>(state->buffer, got))) return -1;
    remaining -= static_cast<int64_t>(got);
    // A read error is not the end of the file, but nothing more will come of it either.
    if (got < wanted) break;
  }
  return remaining == 0 ? 1 : 0;
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
  uint32_t length = 0;
  if (stream == nullptr) return -1;
  if (!ReadTrailerLength(stream, &length)) return 0;
  if (!IsWellFormedTrailer(length, size)) return 0;
  VerificationState state;
  if (!ReadSignature(stream, length, state.signature)) return 0;
  const platform::RsaPublicKey* key = StoredPublicKey();
  if (key == nullptr || !(state.check = key->StartMd5Verification())) return -1;
  int fed = FeedContent(stream, size - static_cast<int64_t>(kTrailerLengthFieldBytes) - length, &state);
  if (fed != 1) return fed;
  return state.check->Matches(std::span<const uint8_t>(state.signature, length)) ? 1 : 0;
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
