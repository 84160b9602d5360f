// The library's process-wide state behind the flat operations of vxr_lib.h.
#pragma once

#include <cstddef>
#include <memory>

#include "engine_control/config_file.h"
#include "engine_control/context_handle.h"
#include "engine_control/library_state.h"
#include "platform/open_file.h"

/// Paths, names and path-like strings longer than this are refused.
inline constexpr size_t kMaxPathChars = 260;

/// The state and configuration exist exactly while the library is initialised; the context
/// handles outlive VXRQuitLib, as open contexts may be released after a new VXRInitLib.
struct Library {
  bool initialised = false;
  std::unique_ptr<LibraryState> state;
  std::unique_ptr<ConfigFile> config;
  /// The engine file that was checked, held open to be executed, and its identity then.
  platform::OpenFile engine_file;
  platform::FileIdentity engine_identity;
  ContextHandleTable handles;
};

/// The one library of the process. Callers use it from one thread at a time.
Library& TheLibrary();
