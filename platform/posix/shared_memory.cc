#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <string>
#include <utility>

#include "platform/posix/child_start.h"
#include "platform/posix/error_from_errno.h"
#include "platform/posix/shared_memory_faults.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

thread_local std::array<int, 3> pending_faults = {};

// True, with errno set, when the test seam asked this call to fail.
bool TakeFault(posix::SharedMemoryCall call) {
  int& pending = pending_faults[static_cast<size_t>(call)];
  if (pending == 0) return false;
  errno = std::exchange(pending, 0);
  return true;
}

// Through syscall(): the C library's declarations of these two lack C linkage for C++.
int PidfdOpen(uint32_t process_id) {
  return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(process_id), 0u));
}

int PidfdGetfd(int pidfd, uint32_t handle) {
  return static_cast<int>(syscall(SYS_pidfd_getfd, pidfd, static_cast<int>(handle), 0u));
}

bool IsRefusal(int error) { return error == EPERM || error == EACCES || error == ENOSYS; }

// pidfd_getfd needs ptrace rights over the harness; where a security module refuses them,
// reopening the descriptor through /proc needs only read access to the process.
int OpenThroughProc(uint32_t process_id, uint32_t handle) {
  std::string path = "/proc/" + std::to_string(process_id) + "/fd/" + std::to_string(handle);
  return posix::OpenCloexec(path.c_str(), O_RDONLY | O_NOCTTY).Release();
}

// Returns the duplicated descriptor, or -1 with `*error` set.
int DuplicateDescriptor(uint32_t process_id, uint32_t handle, Error* error) {
  std::string target = "descriptor " + std::to_string(handle) + " of process " + std::to_string(process_id);
  posix::UniqueFd pidfd(PidfdOpen(process_id));
  if (!pidfd && !IsRefusal(errno)) {
    *error = ErrnoFailure("pidfd_open(" + std::to_string(process_id) + ")", errno);
    return -1;
  }
  if (pidfd) {
    int fd = TakeFault(posix::SharedMemoryCall::kPidfdGetfd) ? -1 : PidfdGetfd(pidfd.get(), handle);
    int saved = errno;
    pidfd.Reset();
    if (fd >= 0) return fd;
    if (!IsRefusal(saved)) {
      *error = ErrnoFailure("pidfd_getfd(" + target + ")", saved);
      return -1;
    }
  }
  int fd = OpenThroughProc(process_id, handle);
  if (fd < 0) *error = ErrnoFailure("open(/proc: " + target + ")", errno);
  return fd;
}

bool IsSealedAgainstShrinking(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  int seals = fcntl(fd, F_GET_SEALS);
  return seals >= 0 && (seals & F_SEAL_SHRINK) != 0;
}

}  // namespace

void SharedMemoryHandle::Close() {
  // close() is not retried: on Linux the descriptor is gone even when it reports EINTR.
  if (handle_ >= 0) close(static_cast<int>(std::exchange(handle_, kNone)));
}

void SharedView::Unmap() {
  if (address_ != nullptr) munmap(std::exchange(address_, nullptr), std::exchange(size_, 0));
}

Result<SharedMemoryHandle> CreateSharedMemory(size_t size) {
  if (size == 0 || size > static_cast<size_t>(LONG_MAX)) {
    return Refusal(ErrorKind::kInvalid, "shared memory of " + std::to_string(size) + " bytes cannot be made");
  }
  int fd = TakeFault(posix::SharedMemoryCall::kMemfdCreate)
               ? -1
               : memfd_create("testkve-settings", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd >= 0) fd = posix::MoveAboveStandardStreams(fd);
  if (fd < 0) {
    return ErrnoFailure("memfd_create", errno);
  }
  SharedMemoryHandle handle(fd);
  if (posix::RetryOnEintr([&] { return ftruncate(fd, static_cast<off_t>(size)); }) != 0) {
    return ErrnoFailure("ftruncate(" + std::to_string(size) + ")", errno);
  }
  // The reader maps the whole object; a fixed size means its mapping can never fault.
  if (fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    return ErrnoFailure("fcntl(F_ADD_SEALS)", errno);
  }
  return handle;
}

Result<SharedMemoryHandle> DuplicateSharedMemory(uint32_t process_id, uint32_t handle) {
  if (process_id > INT_MAX || handle > INT_MAX) {
    return Refusal(ErrorKind::kInvalid, "process " + std::to_string(process_id) + ", descriptor " +
                                            std::to_string(handle) + ": out of range");
  }
  Error error;
  SharedMemoryHandle duplicate(DuplicateDescriptor(process_id, handle, &error));
  if (!duplicate.is_open()) return error;
  if (!IsSealedAgainstShrinking(duplicate.value())) {
    return Refusal(ErrorKind::kInvalid, "descriptor " + std::to_string(handle) + " of process " +
                                            std::to_string(process_id) + " is not a sealed shared-memory object");
  }
  return duplicate;
}

Result<SharedView> MapSharedMemory(const SharedMemoryHandle& handle, bool writable) {
  struct stat status;
  if (fstat(handle.value(), &status) != 0) {
    return ErrnoFailure("fstat", errno);
  }
  if (status.st_size <= 0) {
    return Refusal(ErrorKind::kInvalid, "shared memory of 0 bytes cannot be mapped");
  }
  size_t size = static_cast<size_t>(status.st_size);
  int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
  void* address = TakeFault(posix::SharedMemoryCall::kMmap)
                      ? MAP_FAILED
                      : mmap(nullptr, size, protection, MAP_SHARED, handle.value(), 0);
  if (address == MAP_FAILED) {
    return ErrnoFailure("mmap(" + std::to_string(size) + " bytes)", errno);
  }
  return SharedView(static_cast<std::byte*>(address), size);
}

void InjectSharedMemoryFault(SharedMemoryFault call) {
  posix::InjectSharedMemoryFault(
      call == SharedMemoryFault::kCreate ? posix::SharedMemoryCall::kMemfdCreate : posix::SharedMemoryCall::kMmap,
      ENOMEM);
}

void posix::InjectSharedMemoryFault(SharedMemoryCall call, int error_number) {
  pending_faults[static_cast<size_t>(call)] = error_number;
}

}  // namespace platform
