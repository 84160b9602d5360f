// The development signature on Windows: the PEM key is read with CryptoAPI's decoder and a
// DER walk of our own, and signs through BCrypt.
#include <windows.h>
// windows.h first: the crypto headers need its types.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "support/dev_signature.h"
#include "support/text.h"

namespace {

struct LocalFreer {
  void operator()(void* block) const { LocalFree(block); }
};

std::vector<BYTE> PemToDer(const std::string& pem) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    throw std::runtime_error("no PEM block in " + DevKeyPath());
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
  der.resize(size);
  return der;
}

// One DER element at `at`: its tag, and where its content begins and ends.
struct DerElement {
  BYTE tag = 0;
  size_t content = 0;
  size_t end = 0;
};

DerElement ReadDer(const std::vector<BYTE>& der, size_t at) {
  DerElement element;
  if (at + 2 > der.size()) throw std::runtime_error("truncated DER in " + DevKeyPath());
  element.tag = der[at];
  size_t length = der[at + 1];
  size_t header = 2;
  if (length & 0x80) {
    size_t count = length & 0x7F;
    if (count == 0 || count > 4 || at + 2 + count > der.size()) throw std::runtime_error("bad DER length");
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | der[at + 2 + i];
    header += count;
  }
  element.content = at + header;
  element.end = element.content + length;
  if (element.end > der.size()) throw std::runtime_error("truncated DER in " + DevKeyPath());
  return element;
}

// The big-endian bytes of a DER INTEGER, without the zero byte that keeps it positive.
std::vector<BYTE> IntegerBytes(const std::vector<BYTE>& der, const DerElement& integer) {
  size_t from = integer.content;
  while (from + 1 < integer.end && der[from] == 0) ++from;
  return std::vector<BYTE>(der.begin() + static_cast<long>(from), der.begin() + static_cast<long>(integer.end));
}

// PKCS #8 PrivateKeyInfo is SEQUENCE { version, algorithm, OCTET STRING privateKey }; the
// octet string holds the PKCS #1 RSAPrivateKey, SEQUENCE { version, n, e, d, p, q, ... }.
// BCrypt's private-key blob takes e, n, p and q with lengths of their own, which a key of
// 520 bits (primes of 33 bytes) needs: CryptoAPI's blob sizes primes as bitlen / 16 bytes.
std::vector<BYTE> RsaPrivateBlob(const std::vector<BYTE>& der) {
  DerElement info = ReadDer(der, 0);
  DerElement version = ReadDer(der, info.content);
  DerElement algorithm = ReadDer(der, version.end);
  DerElement key = ReadDer(der, algorithm.end);
  if (info.tag != 0x30 || key.tag != 0x04) throw std::runtime_error("not a PKCS #8 private key: " + DevKeyPath());
  DerElement rsa = ReadDer(der, key.content);
  DerElement rsa_version = ReadDer(der, rsa.content);
  DerElement n = ReadDer(der, rsa_version.end);
  DerElement e = ReadDer(der, n.end);
  DerElement d = ReadDer(der, e.end);
  DerElement p = ReadDer(der, d.end);
  DerElement q = ReadDer(der, p.end);
  std::vector<BYTE> modulus = IntegerBytes(der, n);
  std::vector<BYTE> exponent = IntegerBytes(der, e);
  std::vector<BYTE> prime1 = IntegerBytes(der, p);
  std::vector<BYTE> prime2 = IntegerBytes(der, q);
  BCRYPT_RSAKEY_BLOB header = {};
  header.Magic = BCRYPT_RSAPRIVATE_MAGIC;
  header.cbPublicExp = static_cast<ULONG>(exponent.size());
  header.cbModulus = static_cast<ULONG>(modulus.size());
  header.cbPrime1 = static_cast<ULONG>(prime1.size());
  header.cbPrime2 = static_cast<ULONG>(prime2.size());
  unsigned top = modulus.empty() ? 0 : modulus[0];
  header.BitLength = static_cast<ULONG>(modulus.size() * 8);
  for (unsigned bit = 0x80; bit != 0 && (top & bit) == 0; bit >>= 1) --header.BitLength;
  std::vector<BYTE> blob(reinterpret_cast<const BYTE*>(&header),
                         reinterpret_cast<const BYTE*>(&header) + sizeof header);
  for (const std::vector<BYTE>* part : {&exponent, &modulus, &prime1, &prime2}) {
    blob.insert(blob.end(), part->begin(), part->end());
  }
  return blob;
}

std::vector<BYTE> Md5(std::string_view content) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::vector<BYTE> digest(16);
  DWORD size = static_cast<DWORD>(digest.size());
  bool done =
      CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(content.data()), static_cast<DWORD>(content.size()), 0) &&
      CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &size, 0);
  if (hash != 0) CryptDestroyHash(hash);
  if (provider != 0) CryptReleaseContext(provider, 0);
  if (!done) throw std::runtime_error("MD5 failed");
  return digest;
}

// PKCS #1 v1.5 signatures of MD5 digests through BCrypt.
class DevSigner {
 public:
  DevSigner() {
    std::vector<BYTE> blob = RsaPrivateBlob(PemToDer(ReadFile(DevKeyPath())));
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_RSA_ALGORITHM, nullptr, 0)) ||
        !BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm_, nullptr, BCRYPT_RSAPRIVATE_BLOB, &key_, blob.data(),
                                            static_cast<ULONG>(blob.size()), 0))) {
      throw std::runtime_error("BCrypt refused the key in " + DevKeyPath());
    }
  }
  ~DevSigner() {
    if (key_ != nullptr) BCryptDestroyKey(key_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }
  DevSigner(const DevSigner&) = delete;
  DevSigner& operator=(const DevSigner&) = delete;

  std::vector<uint8_t> Sign(std::string_view content) const {
    std::vector<BYTE> input = Md5(content);
    BCRYPT_PKCS1_PADDING_INFO padding = {BCRYPT_MD5_ALGORITHM};
    std::vector<uint8_t> signature(512);
    ULONG size = 0;
    NTSTATUS status = BCryptSignHash(key_, &padding, input.data(), static_cast<ULONG>(input.size()), signature.data(),
                                     static_cast<ULONG>(signature.size()), &size, BCRYPT_PAD_PKCS1);
    if (!BCRYPT_SUCCESS(status)) {
      throw std::runtime_error("signing failed: status " + std::to_string(static_cast<unsigned long>(status)));
    }
    signature.resize(size);
    return signature;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_KEY_HANDLE key_ = nullptr;
};

}  // namespace

std::vector<uint8_t> DevSignature(std::string_view content) {
  static const DevSigner signer;  // read once: loops sign thousands of variants
  return signer.Sign(content);
}
