#include "platform/owned_handle.h"

#include <io.h>

namespace platform {

// A C runtime descriptor that owns its HANDLE (platform::win32::ToDescriptor): closing it
// closes the HANDLE too.
void OwnedHandle::Close(Native native) { _close(static_cast<int>(native)); }

}  // namespace platform
