// Code signatures on Windows are Authenticode: WinVerifyTrust checks the file's signature and
// its chain, and the signer's name is read from the certificate that WinVerifyTrust verified.
// Signing stays with the Linux vxrtool (osslsigncode signs PE files there).
#include "platform/code_signature.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <imagehlp.h>
#include <io.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <string>
#include <utility>

#include "platform/win32/certificate_table.h"
#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

namespace {

std::string StatusText(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case TRUST_E_NOSIGNATURE:
      return "the file has no code signature";
    case TRUST_E_BAD_DIGEST:
      return "the file does not match its code signature";
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
      return "the code signature's certificate does not chain to a trusted root";
    case CERT_E_EXPIRED:
      return "the code signature's certificate has expired";
    case CERT_E_WRONG_USAGE:
      return "the code signature's certificate is not for code signing";
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "WinVerifyTrust failed (0x%08lx)", static_cast<unsigned long>(status));
      return text;
    }
  }
}

// The simple display name of the first signer's certificate: its common name, else
// organizational unit, else organization, else e-mail address, as on Linux.
bool SignerName(HANDLE state, std::string* name) {
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  if (provider == nullptr) return false;
  CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return false;
  const CERT_CONTEXT* certificate = signer->pasCertChain[0].pCert;
  if (certificate == nullptr) return false;
  wchar_t text[512];
  const DWORD length = CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text, 512);
  if (length <= 1) return false;
  *name = platform::win32::Narrow(std::wstring_view(text, length - 1));
  return true;
}

// A second certificate entry would let a file carry a signature that WinVerifyTrust never
// looks at: exactly one entry of any type is accepted.
bool HasOneCertificate(HANDLE file, std::string* error) {
  DWORD count = 0;
  if (!ImageEnumerateCertificates(file, CERT_SECTION_TYPE_ANY, &count, nullptr, 0)) {
    *error = "the certificate table cannot be read: " + platform::win32::ErrorText(GetLastError());
    return false;
  }
  if (count == 1) return true;
  *error = count == 0 ? "the file has no code signature"
                      : std::to_string(count) + " code signatures, exactly one is accepted";
  return false;
}

// Verifies the open file `file` (shown to WinVerifyTrust as `path`).
bool Verify(HANDLE file, const std::wstring& path, std::string* signer_name, std::string* error) {
  if (!HasOneCertificate(file, error)) return false;
  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof file_info;
  file_info.pcwszFilePath = path.c_str();
  file_info.hFile = file;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;  // as on Linux: no revocation check
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;  // never a download during a check
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  bool verified = status == ERROR_SUCCESS;
  if (!verified) {
    *error = StatusText(status);
  } else if (!SignerName(data.hWVTStateData, signer_name)) {
    *error = "the code signature names no signer";
    verified = false;
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return verified;
}

// A failure told in words alone, with no system number to carry.
platform::Error Refused(std::string reason) {
  return platform::Refusal(platform::ErrorKind::kOther, std::move(reason));
}

// The signer, once the verification has passed.
platform::Result<std::string> Verified(HANDLE file, const std::wstring& path) {
  std::string signer, reason;
  if (!Verify(file, path, &signer, &reason)) return Refused(std::move(reason));
  return signer;
}

}  // namespace

platform::Result<std::string> VerifyFileCodeSignature(const char* path) {
  if (path == nullptr) return Refused("no file");
  const platform::win32::UniqueHandle file = platform::win32::OpenPath(path, GENERIC_READ, OPEN_EXISTING);
  if (!file) return platform::Win32Failure(std::string("cannot open ") + path, GetLastError());
  return Verified(file.get(), platform::win32::Widen(path));
}

platform::Result<std::string> VerifyStreamCodeSignature(std::FILE* stream) {
  if (stream == nullptr) return Refused("cannot open the file");
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  if (handle == -1) return Refused("the stream has no file");
  // WinVerifyTrust reads through the handle; the name is only shown.
  return Verified(reinterpret_cast<HANDLE>(handle), L"engine");
}

bool HasCodeSignature(std::string_view image) {
  std::optional<platform::win32::CertificateTable> table = platform::win32::FindCertificateTable(image);
  return table && table->size != 0;
}

bool AppendCodeSignature(std::string_view /*certificate_pem*/, std::string_view /*key_pem*/, std::string* /*image*/,
                         platform::Error* error) {
  *error = Refused("Windows programs are code-signed with signtool or osslsigncode");
  return false;
}
