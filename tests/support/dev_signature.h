// Signature trailers made with the repository's development key through the system's signing
// (platform/crypto.h), so that tests make signed files without running vxrtool.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The development signing key of the repository.
std::string DevKeyPath();

/// The RSA/MD5 PKCS #1 v1.5 signature of `content` with the development key. Throws
/// std::runtime_error when the key cannot be read or signing fails.
std::vector<uint8_t> DevSignature(std::string_view content);

/// `signature` and its length `length_field` as 32-bit little-endian appended to `content`.
std::string WithTrailer(std::string_view content, const std::vector<uint8_t>& signature, uint32_t length_field);

/// `content` with a correct trailer.
std::string DevSigned(std::string_view content);
