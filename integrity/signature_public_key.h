// The public key that checks the signature trailer of the maker's files.
#pragma once

#include <cstdint>

/// An RSA public key in the stored form: both numbers big-endian and right-aligned in
/// buffers sized for moduli of up to 1024 bits.
struct SignaturePublicKey {
  uint16_t bits;  ///< modulus length in bits
  uint8_t modulus[128];
  uint8_t public_exponent[128];
};

/// The key compiled into the library (the development key unless the build names another).
extern const SignaturePublicKey kSignaturePublicKey;
