// The library's process-wide state behind the flat operations of vxr_lib.h.
#pragma once

#include <cstddef>
#include <memory>

#include "engine_control/config_file.h"
#include "engine_control/context_handle.h"
#include "engine_control/engine_verdict.h"
#include "engine_control/library_state.h"
#include "platform/open_file.h"
#include "vxr_contract.h"

/// The state and configuration exist exactly while the library is initialised; the context
/// handles outlive VXRQuitLib, as open contexts may be released after a new VXRInitLib, and
/// so do the verdicts, which a later VXRInitLib of the same engine file reuses.
struct Library {
  bool initialised = false;
  std::unique_ptr<LibraryState> state;
  std::unique_ptr<ConfigFile> config;
  /// The engine file that was checked, held open to be executed, and its identity then.
  platform::OpenFile engine_file;
  platform::FileIdentity engine_identity;
  ContextHandleTable handles;
  VerdictCache verdicts;
};

/// The one library of the process. Callers use it from one thread at a time.
Library& TheLibrary();

/// The opening check of every operation but VXRInitLib: the library, or null when it is not
/// initialised (VXR_LIB_NOT_INIT).
Library* InitialisedLibrary();

/// What an operation on a scan context starts from.
struct ContextEntry {
  VXRResult result;  ///< VXR_LIB_NOT_INIT, VXR_LIB_INVALID_PARAMETER (no live handle) or success
  Library* library;
  ScanContext* context;
};

/// The opening checks of an operation on `handle`, in the library's order: initialised, then
/// a live handle. Operations whose own argument checks give VXR_LIB_INVALID_PARAMETER too may
/// make them after these, as the first failing check gives the same code either way.
ContextEntry EnterContext(VXR_HANDLE handle);
