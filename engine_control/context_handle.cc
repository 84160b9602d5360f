#include "engine_control/context_handle.h"

#include <algorithm>

VXR_HANDLE ContextHandleTable::Add(std::unique_ptr<ScanContext> context) {
  auto handle = std::make_unique<VXRContextHandle>();
  handle->context = std::move(context);
  handles_.push_back(std::move(handle));
  return handles_.back().get();
}

std::vector<std::unique_ptr<VXRContextHandle>>::const_iterator ContextHandleTable::Locate(VXR_HANDLE handle) const {
  // Only pointer values are compared here: the candidate is never read before it is found.
  return std::find_if(handles_.begin(), handles_.end(), [handle](const auto& live) { return live.get() == handle; });
}

ScanContext* ContextHandleTable::Find(VXR_HANDLE handle) const {
  auto live = Locate(handle);
  if (live == handles_.end() || (*live)->magic != VXRContextHandle::kMagic) return nullptr;
  return (*live)->context.get();
}

bool ContextHandleTable::Release(VXR_HANDLE handle) {
  auto live = Locate(handle);
  if (live == handles_.end() || (*live)->magic != VXRContextHandle::kMagic) return false;
  (*live)->magic = 0;
  handles_.erase(live);
  return true;
}
