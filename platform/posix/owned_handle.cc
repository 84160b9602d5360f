#include "platform/owned_handle.h"

#include <unistd.h>

namespace platform {

// A file descriptor; close() is never retried: on Linux the descriptor is gone even when close
// reports EINTR.
void OwnedHandle::Close(Native native) { ::close(static_cast<int>(native)); }

}  // namespace platform
