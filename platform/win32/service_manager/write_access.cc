#include "platform/win32/service_manager/write_access.h"

// After windows.h, whose types they use.
#include <accctrl.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/win32/handle.h"

namespace platform::win32 {
namespace {

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

// NT SERVICE\TrustedInstaller, the owner of the system's own files: a service SID, not a
// well-known one.
bool IsTrustedInstaller(PSID sid) {
  static constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  PSID installer = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstaller, &installer)) return false;
  const std::unique_ptr<void, LocalFreer> owned(installer);
  return EqualSid(sid, installer) != FALSE;
}

bool IsTrusted(PSID sid, PSID caller) {
  return IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(sid) || (caller != nullptr && EqualSid(sid, caller));
}

// The account's name as Windows shows it ("BUILTIN\Users"), with its SID; the SID alone when
// it names no account here.
std::string AccountName(PSID sid) {
  std::string text = "an unknown account";
  wchar_t* string_sid = nullptr;
  if (ConvertSidToStringSidW(sid, &string_sid)) {
    text = Narrow(string_sid);
    LocalFree(string_sid);
  }
  wchar_t name[256];
  wchar_t domain[256];
  DWORD name_size = 256, domain_size = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use)) return text;
  const std::string account = domain_size > 0 ? Narrow(domain) + "\\" + Narrow(name) : Narrow(name);
  return account + " (" + text + ")";
}

// The SID of an access-allowed entry that grants a changing right on the object itself.
PSID ChangingSid(const ACE_HEADER* header) {
  if (header->AceFlags & INHERIT_ONLY_ACE) return nullptr;
  if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
    return nullptr;
  }
  const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
  if ((allowed->Mask & kChangingRights) == 0) return nullptr;
  return const_cast<DWORD*>(&allowed->SidStart);
}

// The calling process's user.
std::vector<std::byte> CallerSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const UniqueHandle owned_token(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<std::byte> user(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  return user;
}

}  // namespace

std::optional<std::string> UntrustedWriter(PSECURITY_DESCRIPTOR descriptor, PSID caller) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr && !IsTrusted(owner, caller)) {
    return AccountName(owner) + ", its owner";
  }
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
    return "an account whose entry cannot be read";
  if (!present || dacl == nullptr) return std::string("Everyone (it has no permissions set)");
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return "an account whose entry cannot be read";
    PSID sid = ChangingSid(static_cast<const ACE_HEADER*>(entry));
    if (sid != nullptr && !IsTrusted(sid, caller)) return AccountName(sid);
  }
  return std::nullopt;
}

bool OnlyTrustedMayChange(const std::string& path, std::string* why) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const std::wstring wide = Widen(path);
  const DWORD status =
      GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    *why = "cannot read the permissions of " + path + ": " + ErrorText(status);
    return false;
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  const std::vector<std::byte> caller = CallerSid();
  PSID caller_sid = caller.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(caller.data())->User.Sid;
  const std::optional<std::string> writer = UntrustedWriter(descriptor, caller_sid);
  if (!writer) return true;
  *why = path + " can be changed by " + *writer;
  return false;
}

}  // namespace platform::win32
