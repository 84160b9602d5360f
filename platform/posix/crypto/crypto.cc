// The crypto seam through OpenSSL 3's EVP interfaces.
#include "platform/crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/posix/openssl_support.h"

namespace platform {
namespace {

using UniqueKeyContext = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using UniqueParamBuilder = OpenSslPtr<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using UniqueParams = OpenSslPtr<OSSL_PARAM, OSSL_PARAM_free>;

UniqueBignum ToBignum(std::span<const uint8_t> big_endian) {
  return UniqueBignum(BN_bin2bn(big_endian.data(), static_cast<int>(big_endian.size()), nullptr));
}

UniqueKey MakeRsaKey(std::span<const uint8_t> modulus, std::span<const uint8_t> exponent) {
  UniqueBignum n = ToBignum(modulus);
  UniqueBignum e = ToBignum(exponent);
  UniqueParamBuilder builder(OSSL_PARAM_BLD_new());
  if (!n || !e || !builder || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) ||
      !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get())) {
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

class OpenSslMd5RsaVerification : public Md5RsaVerification {
 public:
  OpenSslMd5RsaVerification(UniqueDigest digest, EVP_PKEY* key) : digest_(std::move(digest)), key_(key) {}

  bool Update(std::span<const uint8_t> bytes) override {
    ErrorQueueMark error_mark;
    return EVP_DigestVerifyUpdate(digest_.get(), bytes.data(), bytes.size()) == 1;
  }

  bool Matches(std::span<const uint8_t> signature) override {
    ErrorQueueMark error_mark;
    // The RSA operation wants the signature as long as the modulus: the leading zero bytes
    // that a signer left out are put back.
    auto modulus_bytes = static_cast<size_t>(EVP_PKEY_get_size(key_));
    if (signature.size() > modulus_bytes) return false;
    std::vector<uint8_t> padded(modulus_bytes, 0);
    std::copy(signature.begin(), signature.end(), padded.end() - static_cast<long>(signature.size()));
    bool matches = EVP_DigestVerifyFinal(digest_.get(), padded.data(), padded.size()) == 1;
    OPENSSL_cleanse(padded.data(), padded.size());
    return matches;
  }

 private:
  UniqueDigest digest_;  // freeing the context cleanses the digest state
  EVP_PKEY* key_;
};

class OpenSslRsaPublicKey : public RsaPublicKey {
 public:
  explicit OpenSslRsaPublicKey(UniqueKey key) : key_(std::move(key)) {}

  size_t ModulusBytes() const override { return static_cast<size_t>(EVP_PKEY_get_size(key_.get())); }

  std::unique_ptr<Md5RsaVerification> StartMd5Verification() const override {
    ErrorQueueMark error_mark;
    UniqueDigest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestVerifyInit(digest.get(), nullptr, EVP_md5(), nullptr, key_.get()) != 1) {
      return nullptr;
    }
    return std::make_unique<OpenSslMd5RsaVerification>(std::move(digest), key_.get());
  }

 private:
  UniqueKey key_;
};

class OpenSslMd5RsaSigning : public Md5RsaSigning {
 public:
  explicit OpenSslMd5RsaSigning(UniqueDigest digest) : digest_(std::move(digest)) {}

  bool Update(std::span<const uint8_t> bytes) override {
    ErrorQueueMark error_mark;
    return EVP_DigestSignUpdate(digest_.get(), bytes.data(), bytes.size()) == 1;
  }

  bool Finish(std::vector<uint8_t>* signature) override {
    ErrorQueueMark error_mark;
    size_t size = 0;
    if (EVP_DigestSignFinal(digest_.get(), nullptr, &size) != 1) return false;
    signature->resize(size);
    if (EVP_DigestSignFinal(digest_.get(), signature->data(), &size) != 1) return false;
    signature->resize(size);
    return true;
  }

 private:
  UniqueDigest digest_;
};

class OpenSslRsaPrivateKey : public RsaPrivateKey {
 public:
  explicit OpenSslRsaPrivateKey(UniqueKey key) : key_(std::move(key)) {}

  size_t ModulusBytes() const override { return static_cast<size_t>(EVP_PKEY_get_size(key_.get())); }

  std::unique_ptr<Md5RsaSigning> StartMd5Signing() const override {
    ErrorQueueMark error_mark;
    UniqueDigest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestSignInit(digest.get(), nullptr, EVP_md5(), nullptr, key_.get()) != 1) return nullptr;
    return std::make_unique<OpenSslMd5RsaSigning>(std::move(digest));
  }

 private:
  UniqueKey key_;
};

class OpenSslSha256 : public Sha256 {
 public:
  explicit OpenSslSha256(UniqueDigest digest) : digest_(std::move(digest)) {}

  bool Update(std::span<const uint8_t> bytes) override {
    return EVP_DigestUpdate(digest_.get(), bytes.data(), bytes.size()) == 1;
  }

  bool Finish(Sha256Digest* digest) override {
    unsigned int size = 0;
    return EVP_DigestFinal_ex(digest_.get(), digest->data(), &size) == 1 && size == digest->size();
  }

 private:
  UniqueDigest digest_;
};

}  // namespace

std::unique_ptr<RsaPublicKey> RsaPublicKey::Import(std::span<const uint8_t> modulus,
                                                   std::span<const uint8_t> public_exponent) {
  ErrorQueueMark error_mark;
  UniqueKey key = MakeRsaKey(modulus, public_exponent);
  if (!key) return nullptr;
  return std::make_unique<OpenSslRsaPublicKey>(std::move(key));
}

std::unique_ptr<RsaPrivateKey> RsaPrivateKey::FromPem(std::string_view pem) {
  if (pem.size() > static_cast<size_t>(INT32_MAX)) return nullptr;
  ErrorQueueMark error_mark;
  UniqueBio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  // OpenSSL's own callback asks for the passphrase of an encrypted key on the terminal.
  UniqueKey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) return nullptr;
  return std::make_unique<OpenSslRsaPrivateKey>(std::move(key));
}

std::unique_ptr<Sha256> Sha256::Start() {
  ErrorQueueMark error_mark;
  UniqueDigest digest(EVP_MD_CTX_new());
  if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) return nullptr;
  return std::make_unique<OpenSslSha256>(std::move(digest));
}

void WipeBytes(std::span<uint8_t> bytes) { OPENSSL_cleanse(bytes.data(), bytes.size()); }

}  // namespace platform
