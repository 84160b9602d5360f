// The test seam of the Linux shared memory, where each call's own errno matters: a refused
// pidfd_getfd, for one, sends the duplication through /proc instead.
#pragma once

namespace platform::posix {

/// The calls of the Linux shared memory whose failure handling matters.
enum class SharedMemoryCall { kMemfdCreate, kMmap, kPidfdGetfd };

/// The next such call made by this thread fails with the errno `error_number`.
void InjectSharedMemoryFault(SharedMemoryCall call, int error_number);

}  // namespace platform::posix
