// Who besides the system's own accounts may change a file or folder, read from its security
// descriptor: a service that runs as LocalSystem must not run anything that others can change.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace platform::win32 {

/// The rights that change an object: writing or appending to it (for a folder, adding files or
/// folders), deleting it or its entries, writing its attributes, changing its permissions or
/// its owner, and the generic rights that include any of them.
inline constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                               FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

/// The first account other than SYSTEM, Administrators, TrustedInstaller and `caller` (the
/// account of whoever registers or starts the service) that `descriptor` lets change its
/// object: its owner (who may always rewrite the permissions) or an account that an
/// access-allowed entry grants a changing right on the object itself (entries only inherited by
/// what lies inside do not count). Access-denied entries are not weighed: an account they
/// restrict still counts, so the answer errs on the side of refusing. "Everyone" for a
/// descriptor with no permissions at all (a null DACL). Nullopt when only the trusted accounts
/// may change the object.
std::optional<std::string> UntrustedWriter(PSECURITY_DESCRIPTOR descriptor, PSID caller);

/// Reads the owner and permissions of the file or folder `path` (GetNamedSecurityInfoW) and
/// applies UntrustedWriter with the calling process's user. False with `why` naming the path
/// and the account that may change it, or the reason the permissions cannot be read.
bool OnlyTrustedMayChange(const std::string& path, std::string* why);

}  // namespace platform::win32
