// Code signatures of executables, as the system keeps them: Authenticode on Windows; on Linux
// signature blocks at the end of the file in the layout of signed kernel modules
// (platform/posix/code_signature/ describes it).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/error.h"

/// Verifies the code signature of the file at `path`: exactly one signature, over the content
/// it signs, that verifies with a chain to a root that the system trusts. The signer's certificate, if it lists
/// extended key usages, must allow code signing. The result is the signer's simple display name: its common name,
/// else organizational unit, else organization, else e-mail address; a failure's text says why.
platform::Result<std::string> VerifyFileCodeSignature(const char* path);

/// The same check on an open binary stream of a regular file (null: cannot open).
platform::Result<std::string> VerifyStreamCodeSignature(std::FILE* stream);

/// Whether `image` carries a code signature where the system keeps one, valid or not.
bool HasCodeSignature(std::string_view image);

/// Appends one signature block over the whole of `image`, signed with `key_pem` by the first
/// certificate of `certificate_pem`; further certificates there travel with it as its chain.
/// False, with `image` unchanged and the reason in `error`, when the PEM texts do not give a
/// certificate and its matching private key, when signing fails, or where the system's files
/// are signed by tools of its own (Windows).
bool AppendCodeSignature(std::string_view certificate_pem, std::string_view key_pem, std::string* image,
                         platform::Error* error);
