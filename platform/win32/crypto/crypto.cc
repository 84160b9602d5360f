// The crypto seam through the system's own cryptography: the signature check through CryptoAPI
// (Wine's CNG refuses RSA with MD5 as insecure; the older CryptoAPI verifies it), SHA-256
// through BCrypt.
#include "platform/crypto.h"

#include <windows.h>
// windows.h first: the crypto headers need its types.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
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

class BcryptSha256 : public Sha256 {
 public:
  BcryptSha256(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE hash) : algorithm_(algorithm), hash_(hash) {}
  ~BcryptSha256() override {
    BCryptDestroyHash(hash_);
    BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  BcryptSha256(const BcryptSha256&) = delete;
  BcryptSha256& operator=(const BcryptSha256&) = delete;

  bool Update(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      auto chunk = static_cast<ULONG>(std::min<size_t>(bytes.size(), 1u << 30));
      if (!BCRYPT_SUCCESS(BCryptHashData(hash_, const_cast<PUCHAR>(bytes.data()), chunk, 0))) return false;
      bytes = bytes.subspan(chunk);
    }
    return true;
  }

  bool Finish(Sha256Digest* digest) override {
    return BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest->data(), static_cast<ULONG>(digest->size()), 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_;
  BCRYPT_HASH_HANDLE hash_;
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

std::unique_ptr<Sha256> Sha256::Start() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return nullptr;
  }
  return std::make_unique<BcryptSha256>(algorithm, hash);
}

void WipeBytes(std::span<uint8_t> bytes) { SecureZeroMemory(bytes.data(), bytes.size()); }

}  // namespace platform
