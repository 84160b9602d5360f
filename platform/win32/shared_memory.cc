#include "platform/shared_memory.h"

#include <array>
#include <string>
#include <utility>

#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"

namespace platform {
namespace {

thread_local std::array<DWORD, 2> pending_faults = {};

// True, with the last error set, when the test seam asked this call to fail.
bool TakeFault(SharedMemoryFault call) {
  DWORD& pending = pending_faults[static_cast<size_t>(call)];
  if (pending == 0) return false;
  SetLastError(std::exchange(pending, 0));
  return true;
}

HANDLE AsHandle(SharedMemoryHandle::Native value) { return reinterpret_cast<HANDLE>(value); }

SharedMemoryHandle Own(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return SharedMemoryHandle();
  return SharedMemoryHandle(reinterpret_cast<SharedMemoryHandle::Native>(handle));
}

// The section's exact size as it was created (a view is rounded up to whole pages).
bool SectionSize(HANDLE section, uint64_t* size) {
  struct SectionBasicInformation {
    PVOID base;
    ULONG attributes;
    LARGE_INTEGER size;
  };
  using QuerySection = LONG(WINAPI*)(HANDLE, int, PVOID, SIZE_T, PSIZE_T);
  static const auto query = reinterpret_cast<QuerySection>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySection")));
  SectionBasicInformation information{};
  if (query == nullptr || query(section, 0, &information, sizeof information, nullptr) != 0) return false;
  *size = static_cast<uint64_t>(information.size.QuadPart);
  return true;
}

}  // namespace

void SharedMemoryHandle::Close() {
  if (handle_ != kNone) CloseHandle(AsHandle(std::exchange(handle_, kNone)));
}

void SharedView::Unmap() {
  if (address_ != nullptr) UnmapViewOfFile(std::exchange(address_, nullptr));
  size_ = 0;
}

Result<SharedMemoryHandle> CreateSharedMemory(size_t size) {
  if (size == 0) {
    return Refusal(ErrorKind::kInvalid, "shared memory of 0 bytes cannot be made");
  }
  // Backed by the paging file, unnamed, and not inheritable: the engine takes its own copy
  // with DuplicateHandle. A section's size is fixed when it is made.
  const uint64_t wide = size;
  HANDLE section = TakeFault(SharedMemoryFault::kCreate)
                       ? nullptr
                       : CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                            static_cast<DWORD>(wide >> 32), static_cast<DWORD>(wide), nullptr);
  if (section == nullptr) {
    return Win32Failure("CreateFileMapping(" + std::to_string(size) + " bytes)", GetLastError());
  }
  return Own(section);
}

Result<SharedMemoryHandle> DuplicateSharedMemory(uint32_t process_id, uint32_t handle) {
  if (handle == 0) {
    return Refusal(ErrorKind::kInvalid, "handle 0 of process " + std::to_string(process_id) + " names nothing");
  }
  win32::UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, process_id));
  if (!process) {
    return Win32Failure("OpenProcess(" + std::to_string(process_id) + ")", GetLastError());
  }
  HANDLE duplicate = nullptr;
  const HANDLE source = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle));
  if (!DuplicateHandle(process.get(), source, GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return Win32Failure(
        "DuplicateHandle(handle " + std::to_string(handle) + " of process " + std::to_string(process_id) + ")",
        GetLastError());
  }
  SharedMemoryHandle owned = Own(duplicate);
  uint64_t size = 0;
  // Only a section is accepted: any other kind of handle cannot be mapped safely.
  if (!SectionSize(duplicate, &size)) {
    return Refusal(ErrorKind::kInvalid, "handle " + std::to_string(handle) + " of process " +
                                            std::to_string(process_id) + " is not a shared-memory section");
  }
  return owned;
}

Result<SharedView> MapSharedMemory(const SharedMemoryHandle& handle, bool writable) {
  uint64_t size = 0;
  if (!SectionSize(AsHandle(handle.native()), &size)) {
    return Win32Failure("NtQuerySection", ERROR_INVALID_HANDLE);
  }
  if (size == 0) {
    return Refusal(ErrorKind::kInvalid, "shared memory of 0 bytes cannot be mapped");
  }
  void* address = TakeFault(SharedMemoryFault::kMap)
                      ? nullptr
                      : MapViewOfFile(AsHandle(handle.native()), writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                                      static_cast<SIZE_T>(size));
  if (address == nullptr) {
    return Win32Failure("MapViewOfFile(" + std::to_string(size) + " bytes)", GetLastError());
  }
  return SharedView(static_cast<std::byte*>(address), static_cast<size_t>(size));
}

void InjectSharedMemoryFault(SharedMemoryFault call) {
  pending_faults[static_cast<size_t>(call)] = ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace platform
