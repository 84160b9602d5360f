// Where this user's slots are spooled on Linux: one file per slot in an owner-only folder.
#pragma once

#include <filesystem>

namespace platform {

/// The folder of this user's slots: $XDG_RUNTIME_DIR/testkve/mailslot when that variable holds
/// an absolute path, else /tmp/testkve-<uid>/mailslot.
std::filesystem::path MailslotFolder();

}  // namespace platform
