// The handles that VXRInitScanContext gives out, and the table that knows which are alive.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine_control/scan_context.h"
#include "vxr_lib.h"

/// The block a context handle points to: the magic word and the owning reference.
struct VXRContextHandle {
  static constexpr uint32_t kMagic = 0x2BDFFDB2;

  uint32_t magic = kMagic;
  std::unique_ptr<ScanContext> context;
};

/// Every live handle of the process. A handle is looked up by its value before anything is
/// read through it, so a released, foreign or made-up handle is refused, never dereferenced.
class ContextHandleTable {
 public:
  /// Wraps `context` in a new handle and keeps it alive.
  VXR_HANDLE Add(std::unique_ptr<ScanContext> context);
  /// The context of a live handle with the magic word, or null.
  ScanContext* Find(VXR_HANDLE handle) const;
  /// Zeroes the handle's magic and releases it with its context; false when it is not live.
  bool Release(VXR_HANDLE handle);

 private:
  std::vector<std::unique_ptr<VXRContextHandle>>::const_iterator Locate(VXR_HANDLE handle) const;

  std::vector<std::unique_ptr<VXRContextHandle>> handles_;
};
