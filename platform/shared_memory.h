// Unnamed shared memory handed from one process to another by handle number: the harness
// creates it, the engine duplicates the harness's handle into itself and maps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/error.h"

namespace platform {

/// An owned handle of a shared-memory object. Move-only; closes it when destroyed.
class SharedMemoryHandle {
 public:
  /// The system's handle value (platform/<os>/shared_memory.cc says what it is).
  using Native = std::intptr_t;
  static constexpr Native kNone = -1;

  SharedMemoryHandle() = default;
  explicit SharedMemoryHandle(Native handle) : handle_(handle) {}
  ~SharedMemoryHandle() { Close(); }
  SharedMemoryHandle(SharedMemoryHandle&& other) noexcept;
  SharedMemoryHandle& operator=(SharedMemoryHandle&& other) noexcept;
  SharedMemoryHandle(const SharedMemoryHandle&) = delete;
  SharedMemoryHandle& operator=(const SharedMemoryHandle&) = delete;

  bool is_open() const { return handle_ != kNone; }
  Native native() const { return handle_; }
  /// The number another process names it by (Windows keeps handle values within 32 bits).
  int value() const { return static_cast<int>(handle_); }
  void Close();

 private:
  Native handle_ = kNone;
};

/// A mapped view of a shared-memory object. Move-only; unmaps it when destroyed.
class SharedView {
 public:
  SharedView() = default;
  ~SharedView() { Unmap(); }
  SharedView(SharedView&& other) noexcept;
  SharedView& operator=(SharedView&& other) noexcept;
  SharedView(const SharedView&) = delete;
  SharedView& operator=(const SharedView&) = delete;

  bool is_mapped() const { return address_ != nullptr; }
  /// The whole view; writable only for a view mapped writable.
  std::span<std::byte> bytes() const { return {address_, size_}; }
  void Unmap();

 private:
  friend Result<SharedView> MapSharedMemory(const SharedMemoryHandle&, bool);
  SharedView(std::byte* address, size_t size) : address_(address), size_(size) {}

  std::byte* address_ = nullptr;
  size_t size_ = 0;
};

/// Creates an unnamed shared-memory object of exactly `size` bytes (at least 1), zero-filled,
/// inherited by no child, never in the place of a standard stream, and sealed so that it can
/// neither shrink nor grow.
/// The failure's text names the call and the reason.
Result<SharedMemoryHandle> CreateSharedMemory(size_t size);

/// Duplicates the handle `handle` of process `process_id` into this process for reading.
/// Only a shared-memory object sealed against shrinking is accepted, so a mapping of it can
/// never fault.
Result<SharedMemoryHandle> DuplicateSharedMemory(uint32_t process_id, uint32_t handle);

/// Maps the whole object shared, read/write when `writable`, else read-only. An object of
/// size 0 cannot be mapped.
Result<SharedView> MapSharedMemory(const SharedMemoryHandle& handle, bool writable);

/// Test seam for the calls whose failure handling matters: the next such call made by this
/// thread fails as though the system were out of memory.
enum class SharedMemoryFault { kCreate, kMap };
void InjectSharedMemoryFault(SharedMemoryFault call);

}  // namespace platform
