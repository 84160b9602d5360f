// The RSA/MD5 signature trailer as vxrtool makes it, over content read in chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/crypto.h"

/// Reads the next chunk into the buffer: the count, 0 at the end, -1 on an error.
using ChunkReader = std::function<int64_t(std::span<std::byte>)>;

/// The RSA private key in the PEM file at `path`; null with the reason in `error`.
std::unique_ptr<platform::RsaPrivateKey> LoadSigningKey(const std::string& path, std::string* error);

/// The trailer for the content that `read` gives: its RSASSA-PKCS1-v1_5 signature with MD5,
/// then the signature's length as 32-bit little-endian. Memory stays bounded by one chunk,
/// whatever the content's size. False with the reason in `error` when reading or signing
/// fails, the content is empty, or the key's signatures are longer than 128 bytes.
bool MakeSignatureTrailer(const platform::RsaPrivateKey& key, const ChunkReader& read, std::string* trailer,
                          std::string* error);

/// The same over content held in memory.
bool MakeSignatureTrailer(const platform::RsaPrivateKey& key, std::string_view content, std::string* trailer,
                          std::string* error);
