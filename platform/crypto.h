// The digests, the signature check that the maker's files need and the signing that makes
// them, from the system's own cryptography: OpenSSL on Linux, CryptoAPI and BCrypt on Windows.
// The file formats that use them live in integrity/.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

/// A running check of an RSA PKCS #1 v1.5 signature over the MD5 digest of the bytes fed.
class Md5RsaVerification {
 public:
  virtual ~Md5RsaVerification() = default;
  /// Feeds the next bytes of the signed content; false when the digest refuses them.
  virtual bool Update(std::span<const uint8_t> bytes) = 0;
  /// Whether `signature`, a big-endian number no longer than the modulus (leading zero bytes
  /// may be left out), signs everything fed. Ends the check: no Update may follow.
  virtual bool Matches(std::span<const uint8_t> signature) = 0;
};

/// An RSA public key loaded into the system's cryptography.
class RsaPublicKey {
 public:
  /// The key of a big-endian `modulus` and `public_exponent` (leading zero bytes allowed);
  /// nullptr when the system refuses it (an exponent wider than 32 bits on Windows among them).
  static std::unique_ptr<RsaPublicKey> Import(std::span<const uint8_t> modulus,
                                              std::span<const uint8_t> public_exponent);
  virtual ~RsaPublicKey() = default;
  /// The modulus length in bytes, which is also the length of a full signature.
  virtual size_t ModulusBytes() const = 0;
  /// A new check against this key; nullptr when the system cannot start one.
  virtual std::unique_ptr<Md5RsaVerification> StartMd5Verification() const = 0;
};

/// A running RSA PKCS #1 v1.5 signature over the MD5 digest of the bytes fed.
class Md5RsaSigning {
 public:
  virtual ~Md5RsaSigning() = default;
  /// Feeds the next bytes of the content; false when the digest refuses them.
  virtual bool Update(std::span<const uint8_t> bytes) = 0;
  /// The signature of everything fed, a big-endian number as long as the modulus; false on
  /// failure. Ends the signing: no Update may follow.
  virtual bool Finish(std::vector<uint8_t>* signature) = 0;
};

/// An RSA private key loaded into the system's cryptography.
class RsaPrivateKey {
 public:
  /// The RSA private key of the PEM text `pem`, PKCS #1 ("RSA PRIVATE KEY") or PKCS #8
  /// ("PRIVATE KEY"); nullptr when it holds none or the system refuses the key. An encrypted
  /// key is asked for its passphrase on the terminal on Linux and refused on Windows.
  static std::unique_ptr<RsaPrivateKey> FromPem(std::string_view pem);
  virtual ~RsaPrivateKey() = default;
  /// The modulus length in bytes, which is also the length of a signature.
  virtual size_t ModulusBytes() const = 0;
  /// A new signature with this key; nullptr when the system cannot start one.
  virtual std::unique_ptr<Md5RsaSigning> StartMd5Signing() const = 0;
};

using Sha256Digest = std::array<uint8_t, 32>;

/// A running SHA-256 digest.
class Sha256 {
 public:
  /// nullptr when the system cannot start one.
  static std::unique_ptr<Sha256> Start();
  virtual ~Sha256() = default;
  /// Feeds the next bytes; false when the digest refuses them.
  virtual bool Update(std::span<const uint8_t> bytes) = 0;
  /// The digest of everything fed; false on failure. Ends the digest.
  virtual bool Finish(Sha256Digest* digest) = 0;
};

/// Overwrites `bytes` with zeros in a way the compiler does not drop as a dead store.
void WipeBytes(std::span<uint8_t> bytes);

}  // namespace platform
