// The signature trailer at the end of the maker's files: content, an RSA/MD5 PKCS #1 v1.5
// signature of L bytes, and L as 32-bit little-endian.
#pragma once

#include <cstdint>
#include <cstdio>

#include "integrity/integrity_verdict.h"

namespace platform {
class OpenFile;
}

/// Verdicts: 1 valid; 0 invalid (trailer missing, malformed or unreadable, or signature
/// mismatch); -1 the size cannot be taken, the file cannot be opened, or the digest fails.
int VerifyAppendedSignature(const char* path);

/// The verdict of VerifyAppendedSignature as an IntegrityVerdict: 1 valid, 0 invalid, else
/// unreadable.
IntegrityVerdict AppendedSignatureVerdict(int verdict);
/// Whether the file at `path` ends in a well-formed trailer (its length field says 1 to 128
/// bytes and content lies before them), whatever the signature in it is worth. False also when
/// the file cannot be read.
bool HasSignatureTrailer(const char* path);
/// The same verdicts for a file held open (its size taken from the open file).
int VerifyAppendedSignatureFile(const platform::OpenFile& file);

/// The core for an open binary stream and the size the file system reported.
int VerifyAppendedSignatureStream(std::FILE* stream, int64_t size);
