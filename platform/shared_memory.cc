// The moves of the shared-memory handle and view, the same on every system: Close and Unmap
// are each system's own.
#include "platform/shared_memory.h"

#include <utility>

namespace platform {

SharedMemoryHandle::SharedMemoryHandle(SharedMemoryHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, kNone)) {}

SharedMemoryHandle& SharedMemoryHandle::operator=(SharedMemoryHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNone);
  }
  return *this;
}

SharedView::SharedView(SharedView&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SharedView& SharedView::operator=(SharedView&& other) noexcept {
  if (this != &other) {
    Unmap();
    address_ = std::exchange(other.address_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace platform
