// Code signatures of executables, in the layout of signed Linux kernel modules: the content,
// a DER CMS (PKCS #7) signature over it, a 12-byte descriptor, and the marker
// "~Module signature appended~\n". The run of such blocks at the end of a file is its
// certificate table.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

/// Verifies the code signature of the file at `path`: the file must end in exactly one
/// signature block, whose signature over the content in front of it verifies, with a chain
/// to a root of the system trust store (SSL_CERT_FILE and SSL_CERT_DIR select another; no
/// revocation check). The signer's certificate, if it lists extended key usages, must allow
/// code signing. On success `signer_name` holds the signer's simple display name: its common
/// name, else organizational unit, else organization, else e-mail address. On failure the
/// reason is in `error`.
bool VerifyFileCodeSignature(const char* path, std::string* signer_name, std::string* error);

/// The same check on an open binary stream of a regular file (null: cannot open).
bool VerifyStreamCodeSignature(std::FILE* stream, std::string* signer_name, std::string* error);

/// Appends one signature block over the whole of `image`, signed with `key_pem` by the first
/// certificate of `certificate_pem`; further certificates there travel with it as its chain.
/// False, with `image` unchanged and the reason in `error`, when the PEM texts do not give a
/// certificate and its matching private key, or signing fails.
bool AppendCodeSignature(std::string_view certificate_pem, std::string_view key_pem, std::string* image,
                         std::string* error);
