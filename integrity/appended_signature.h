// The signature trailer at the end of the maker's files: content, an RSA/MD5 PKCS #1 v1.5
// signature of L bytes, and L as 32-bit little-endian.
#pragma once

#include <cstdint>
#include <cstdio>

#include "vxr_lib.h"

namespace platform {
class OpenFile;
}

/// Verdicts: 1 valid; 0 invalid (trailer missing, malformed or unreadable, or signature
/// mismatch); -1 the size cannot be taken, the file cannot be opened, or the digest fails.
int VerifyAppendedSignature(const char* path);

/// The same verdicts for a file held open (its size taken from the open file).
int VerifyAppendedSignatureFile(const platform::OpenFile& file);

/// The core for an open binary stream and the size the file system reported.
int VerifyAppendedSignatureStream(std::FILE* stream, int64_t size);

/// 1 -> VXR_LIB_SUCCESS, 0 -> VXR_LIB_INVALID_SIGNATURE, -1 -> VXR_LIB_INVALID_PATHNAME.
VXRResult SignatureVerdictToResult(int verdict);
