// A child's own part on Linux: a child that a starter runs (the contained start) keeps the
// starter here; a child started directly has none.
#pragma once

#include <chrono>

#include "platform/owned_handle.h"
#include "platform/process.h"

namespace platform {

struct ChildProcess::Native {
  int starter_id = -1;  ///< the process ID of the starter, the program's parent
  /// The channel to the starter, which hands stop signals on and reports the program's end.
  OwnedHandle channel;
  OwnedHandle program;  ///< a descriptor of the program itself, or none
  /// How long the starter may take to answer before it is looked at (and ended, when stopped).
  std::chrono::milliseconds starter_grace{1000};
};

}  // namespace platform
