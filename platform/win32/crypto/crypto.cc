// The crypto seam through the system's own cryptography: the signature check through CryptoAPI
// (Wine's CNG refuses RSA with MD5 as insecure; the older CryptoAPI verifies it); signing,
// MD5 and SHA-256 through BCrypt, with the PEM key decoded by CryptoAPI.
#include "platform/crypto.h"

#include <windows.h>
// windows.h first: the crypto headers need its types.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace platform {
namespace {

// The big-endian `number` without its leading zero bytes.
std::span<const uint8_t> Significant(std::span<const uint8_t> number) {
  auto first = std::find_if(number.begin(), number.end(), [](uint8_t byte) { return byte != 0; });
  return number.subspan(static_cast<size_t>(first - number.begin()));
}

class CryptoProvider {
 public:
  CryptoProvider() {
    if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) provider_ = 0;
  }
  ~CryptoProvider() {
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  CryptoProvider(const CryptoProvider&) = delete;
  CryptoProvider& operator=(const CryptoProvider&) = delete;
  HCRYPTPROV get() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
};

class CryptoApiMd5RsaVerification : public Md5RsaVerification {
 public:
  CryptoApiMd5RsaVerification(HCRYPTHASH hash, HCRYPTKEY key, size_t modulus_bytes)
      : hash_(hash), key_(key), modulus_bytes_(modulus_bytes) {}
  ~CryptoApiMd5RsaVerification() override { CryptDestroyHash(hash_); }
  CryptoApiMd5RsaVerification(const CryptoApiMd5RsaVerification&) = delete;
  CryptoApiMd5RsaVerification& operator=(const CryptoApiMd5RsaVerification&) = delete;

  bool Update(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      if (!CryptHashData(hash_, bytes.data(), chunk, 0)) return false;
      bytes = bytes.subspan(chunk);
    }
    return true;
  }

  // CryptoAPI takes the signature little-endian and as long as the modulus.
  bool Matches(std::span<const uint8_t> signature) override {
    if (signature.size() > modulus_bytes_) return false;
    std::vector<uint8_t> reversed(signature.rbegin(), signature.rend());
    reversed.resize(modulus_bytes_, 0);
    bool matches =
        CryptVerifySignatureW(hash_, reversed.data(), static_cast<DWORD>(reversed.size()), key_, nullptr, 0) != FALSE;
    WipeBytes(reversed);
    return matches;
  }

 private:
  HCRYPTHASH hash_;
  HCRYPTKEY key_;
  size_t modulus_bytes_;
};

class CryptoApiRsaPublicKey : public RsaPublicKey {
 public:
  CryptoApiRsaPublicKey(std::unique_ptr<CryptoProvider> provider, HCRYPTKEY key, size_t modulus_bytes)
      : provider_(std::move(provider)), key_(key), modulus_bytes_(modulus_bytes) {}
  ~CryptoApiRsaPublicKey() override { CryptDestroyKey(key_); }
  CryptoApiRsaPublicKey(const CryptoApiRsaPublicKey&) = delete;
  CryptoApiRsaPublicKey& operator=(const CryptoApiRsaPublicKey&) = delete;

  size_t ModulusBytes() const override { return modulus_bytes_; }

  std::unique_ptr<Md5RsaVerification> StartMd5Verification() const override {
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider_->get(), CALG_MD5, 0, 0, &hash)) return nullptr;
    return std::make_unique<CryptoApiMd5RsaVerification>(hash, key_, modulus_bytes_);
  }

 private:
  std::unique_ptr<CryptoProvider> provider_;
  HCRYPTKEY key_;
  size_t modulus_bytes_;
};

// A PUBLICKEYBLOB: the blob header, RSAPUBKEY, then the modulus little-endian.
std::vector<uint8_t> PublicKeyBlob(std::span<const uint8_t> modulus, uint32_t exponent) {
  BLOBHEADER header = {PUBLICKEYBLOB, CUR_BLOB_VERSION, 0, CALG_RSA_SIGN};
  RSAPUBKEY rsa = {0x31415352 /* "RSA1" */, static_cast<DWORD>(modulus.size() * 8), exponent};
  std::vector<uint8_t> blob(sizeof header + sizeof rsa);
  std::copy_n(reinterpret_cast<const uint8_t*>(&header), sizeof header, blob.begin());
  std::copy_n(reinterpret_cast<const uint8_t*>(&rsa), sizeof rsa, blob.begin() + sizeof header);
  blob.insert(blob.end(), modulus.rbegin(), modulus.rend());
  return blob;
}

// An open BCrypt algorithm provider.
class BcryptAlgorithm {
 public:
  explicit BcryptAlgorithm(LPCWSTR name) {
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, name, nullptr, 0))) algorithm_ = nullptr;
  }
  ~BcryptAlgorithm() {
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  BcryptAlgorithm(const BcryptAlgorithm&) = delete;
  BcryptAlgorithm& operator=(const BcryptAlgorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return algorithm_; }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
};

// A running BCrypt digest of the algorithm `name`.
class BcryptHash {
 public:
  explicit BcryptHash(LPCWSTR name) : algorithm_(name) {
    if (algorithm_.get() == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(algorithm_.get(), &hash_, nullptr, 0, nullptr, 0, 0))) {
      hash_ = nullptr;
    }
  }
  ~BcryptHash() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
  }
  BcryptHash(const BcryptHash&) = delete;
  BcryptHash& operator=(const BcryptHash&) = delete;

  bool started() const { return hash_ != nullptr; }

  bool Update(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
      auto chunk = static_cast<ULONG>(std::min<size_t>(bytes.size(), 1u << 30));
      if (!BCRYPT_SUCCESS(BCryptHashData(hash_, const_cast<PUCHAR>(bytes.data()), chunk, 0))) return false;
      bytes = bytes.subspan(chunk);
    }
    return true;
  }

  bool Finish(std::span<uint8_t> digest) {
    return BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0));
  }

 private:
  BcryptAlgorithm algorithm_;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

class BcryptSha256 : public Sha256 {
 public:
  explicit BcryptSha256(std::unique_ptr<BcryptHash> hash) : hash_(std::move(hash)) {}
  bool Update(std::span<const uint8_t> bytes) override { return hash_->Update(bytes); }
  bool Finish(Sha256Digest* digest) override { return hash_->Finish(*digest); }

 private:
  std::unique_ptr<BcryptHash> hash_;
};

struct LocalFreer {
  void operator()(void* block) const { LocalFree(block); }
};

// What CryptDecodeObjectEx decodes `der` into as `type`, and its size; null when it refuses.
std::unique_ptr<BYTE, LocalFreer> Decode(LPCSTR type, std::span<const BYTE> der, DWORD* size) {
  BYTE* decoded = nullptr;
  if (der.size() > MAXDWORD ||
      !CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, der.data(), static_cast<DWORD>(der.size()),
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, size)) {
    return nullptr;
  }
  return std::unique_ptr<BYTE, LocalFreer>(decoded);
}

// The DER of the first PEM block of `pem`, whatever its label; empty when there is none.
std::vector<BYTE> PemToDer(std::string_view pem) {
  DWORD size = 0;
  if (pem.size() > MAXDWORD || !CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()),
                                                     CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    return {};
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                            nullptr, nullptr)) {
    return {};
  }
  der.resize(size);
  return der;
}

// The big-endian number of the little-endian `number`, without its leading zero bytes.
std::vector<BYTE> BigEndian(std::span<const BYTE> number) {
  std::vector<BYTE> reversed(number.rbegin(), number.rend());
  std::span<const uint8_t> significant = Significant(reversed);
  return {significant.begin(), significant.end()};
}

// CryptoAPI's PRIVATEKEYBLOB (its parts little-endian and sized after the blob's bit length)
// as BCrypt's RSAPRIVATE blob, whose parts are big-endian with lengths of their own: a bit
// length that is no multiple of 16 (the development key's 520 bits) does not fit the blob's
// layout, which the decoder pads, and only the parts' own lengths keep the signatures as long
// as the key's modulus.
// Empty when the blob is too short for its bit length.
std::vector<BYTE> BcryptPrivateBlob(std::span<const BYTE> blob) {
  constexpr size_t kHeader = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
  if (blob.size() < kHeader) return {};
  RSAPUBKEY rsa;
  std::copy_n(blob.begin() + sizeof(BLOBHEADER), sizeof rsa, reinterpret_cast<BYTE*>(&rsa));
  const size_t modulus_bytes = rsa.bitlen / 8, prime_bytes = rsa.bitlen / 16;
  if (blob.size() < kHeader + modulus_bytes + 2 * prime_bytes) return {};
  const std::vector<BYTE> modulus = BigEndian(blob.subspan(kHeader, modulus_bytes));
  const std::vector<BYTE> prime1 = BigEndian(blob.subspan(kHeader + modulus_bytes, prime_bytes));
  const std::vector<BYTE> prime2 = BigEndian(blob.subspan(kHeader + modulus_bytes + prime_bytes, prime_bytes));
  std::vector<BYTE> exponent;
  for (DWORD value = rsa.pubexp; value != 0; value >>= 8) exponent.insert(exponent.begin(), value & 0xFF);
  if (modulus.empty() || prime1.empty() || prime2.empty() || exponent.empty()) return {};
  BCRYPT_RSAKEY_BLOB header = {};
  header.Magic = BCRYPT_RSAPRIVATE_MAGIC;
  header.BitLength = static_cast<ULONG>(modulus.size() * 8);
  for (unsigned bit = 0x80; (modulus[0] & bit) == 0; bit >>= 1) --header.BitLength;
  header.cbPublicExp = static_cast<ULONG>(exponent.size());
  header.cbModulus = static_cast<ULONG>(modulus.size());
  header.cbPrime1 = static_cast<ULONG>(prime1.size());
  header.cbPrime2 = static_cast<ULONG>(prime2.size());
  std::vector<BYTE> result(reinterpret_cast<const BYTE*>(&header),
                           reinterpret_cast<const BYTE*>(&header) + sizeof header);
  for (std::span<const BYTE> part : {std::span<const BYTE>(exponent), std::span<const BYTE>(modulus),
                                     std::span<const BYTE>(prime1), std::span<const BYTE>(prime2)}) {
    result.insert(result.end(), part.begin(), part.end());
  }
  return result;
}

// The key a PKCS #8 PrivateKeyInfo, SEQUENCE { version, algorithm, OCTET STRING key }, holds;
// empty when `der` is none. Taken apart element by element: Wine's decoder has no
// PKCS_PRIVATE_KEY_INFO.
std::vector<BYTE> Pkcs8Key(std::span<const BYTE> der) {
  DWORD size = 0;
  auto sequence = Decode(X509_SEQUENCE_OF_ANY, der, &size);
  if (!sequence) return {};
  const auto* elements = reinterpret_cast<const CRYPT_SEQUENCE_OF_ANY*>(sequence.get());
  if (elements->cValue != 3) return {};
  const CRYPT_DER_BLOB& key = elements->rgValue[2];
  auto octets = Decode(X509_OCTET_STRING, std::span<const BYTE>(key.pbData, key.cbData), &size);
  if (!octets) return {};
  const auto* content = reinterpret_cast<const CRYPT_DATA_BLOB*>(octets.get());
  std::vector<BYTE> result(content->pbData, content->pbData + content->cbData);
  SecureZeroMemory(content->pbData, content->cbData);
  return result;
}

// The PRIVATEKEYBLOB of the key in `der`: a PKCS #1 RSAPrivateKey, or a PKCS #8
// PrivateKeyInfo that holds one. Empty when it is neither (a key of another kind among them).
std::vector<BYTE> CryptoApiPrivateBlob(std::span<const BYTE> der) {
  DWORD size = 0;
  auto blob = Decode(PKCS_RSA_PRIVATE_KEY, der, &size);
  if (!blob) {
    std::vector<BYTE> inner = Pkcs8Key(der);
    blob = Decode(PKCS_RSA_PRIVATE_KEY, inner, &size);
    SecureZeroMemory(inner.data(), inner.size());
  }
  if (!blob) return {};
  std::vector<BYTE> result(blob.get(), blob.get() + size);
  SecureZeroMemory(blob.get(), size);
  return result;
}

class BcryptMd5RsaSigning : public Md5RsaSigning {
 public:
  BcryptMd5RsaSigning(BCRYPT_KEY_HANDLE key, size_t modulus_bytes, std::unique_ptr<BcryptHash> md5)
      : key_(key), modulus_bytes_(modulus_bytes), md5_(std::move(md5)) {}

  bool Update(std::span<const uint8_t> bytes) override { return md5_->Update(bytes); }

  bool Finish(std::vector<uint8_t>* signature) override {
    std::array<BYTE, 16> digest;
    if (!md5_->Finish(digest)) return false;
    BCRYPT_PKCS1_PADDING_INFO padding = {BCRYPT_MD5_ALGORITHM};
    signature->resize(modulus_bytes_);
    ULONG size = 0;
    if (!BCRYPT_SUCCESS(BCryptSignHash(key_, &padding, digest.data(), static_cast<ULONG>(digest.size()),
                                       signature->data(), static_cast<ULONG>(signature->size()), &size,
                                       BCRYPT_PAD_PKCS1))) {
      return false;
    }
    signature->resize(size);
    return true;
  }

 private:
  BCRYPT_KEY_HANDLE key_;
  size_t modulus_bytes_;
  std::unique_ptr<BcryptHash> md5_;
};

class BcryptRsaPrivateKey : public RsaPrivateKey {
 public:
  BcryptRsaPrivateKey(std::unique_ptr<BcryptAlgorithm> algorithm, BCRYPT_KEY_HANDLE key, size_t modulus_bytes)
      : algorithm_(std::move(algorithm)), key_(key), modulus_bytes_(modulus_bytes) {}
  ~BcryptRsaPrivateKey() override { BCryptDestroyKey(key_); }
  BcryptRsaPrivateKey(const BcryptRsaPrivateKey&) = delete;
  BcryptRsaPrivateKey& operator=(const BcryptRsaPrivateKey&) = delete;

  size_t ModulusBytes() const override { return modulus_bytes_; }

  std::unique_ptr<Md5RsaSigning> StartMd5Signing() const override {
    auto md5 = std::make_unique<BcryptHash>(BCRYPT_MD5_ALGORITHM);
    if (!md5->started()) return nullptr;
    return std::make_unique<BcryptMd5RsaSigning>(key_, modulus_bytes_, std::move(md5));
  }

 private:
  std::unique_ptr<BcryptAlgorithm> algorithm_;
  BCRYPT_KEY_HANDLE key_;
  size_t modulus_bytes_;
};

}  // namespace

std::unique_ptr<RsaPublicKey> RsaPublicKey::Import(std::span<const uint8_t> modulus,
                                                   std::span<const uint8_t> public_exponent) {
  modulus = Significant(modulus);
  public_exponent = Significant(public_exponent);
  if (modulus.empty() || public_exponent.empty() || public_exponent.size() > sizeof(DWORD)) return nullptr;
  uint32_t exponent = 0;
  for (uint8_t byte : public_exponent) exponent = (exponent << 8) | byte;
  auto provider = std::make_unique<CryptoProvider>();
  if (provider->get() == 0) return nullptr;
  std::vector<uint8_t> blob = PublicKeyBlob(modulus, exponent);
  HCRYPTKEY key = 0;
  if (!CryptImportKey(provider->get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &key)) return nullptr;
  return std::make_unique<CryptoApiRsaPublicKey>(std::move(provider), key, modulus.size());
}

std::unique_ptr<RsaPrivateKey> RsaPrivateKey::FromPem(std::string_view pem) {
  std::vector<BYTE> der = PemToDer(pem);
  std::vector<BYTE> private_blob = CryptoApiPrivateBlob(der);
  std::vector<BYTE> blob = BcryptPrivateBlob(private_blob);
  WipeBytes(der);
  WipeBytes(private_blob);
  if (blob.empty()) return nullptr;
  const auto* header = reinterpret_cast<const BCRYPT_RSAKEY_BLOB*>(blob.data());
  const size_t modulus_bytes = header->cbModulus;
  auto algorithm = std::make_unique<BcryptAlgorithm>(BCRYPT_RSA_ALGORITHM);
  BCRYPT_KEY_HANDLE key = nullptr;
  const bool imported = algorithm->get() != nullptr &&
                        BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm->get(), nullptr, BCRYPT_RSAPRIVATE_BLOB, &key,
                                                           blob.data(), static_cast<ULONG>(blob.size()), 0));
  WipeBytes(blob);
  if (!imported) return nullptr;
  return std::make_unique<BcryptRsaPrivateKey>(std::move(algorithm), key, modulus_bytes);
}

std::unique_ptr<Sha256> Sha256::Start() {
  auto hash = std::make_unique<BcryptHash>(BCRYPT_SHA256_ALGORITHM);
  if (!hash->started()) return nullptr;
  return std::make_unique<BcryptSha256>(std::move(hash));
}

void WipeBytes(std::span<uint8_t> bytes) { SecureZeroMemory(bytes.data(), bytes.size()); }

}  // namespace platform
